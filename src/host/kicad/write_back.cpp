#include "host/kicad/write_back.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>

#include "host/kicad/uuid.h"

namespace orlune::kicad {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isWhite(char c) {
    return isBlank(c) || c == '\n' || c == '\r';
}

bool oneOf(std::string_view head, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), head) != names.end();
}

// The bytes of a node with the whitespace outside strings reduced to single
// spaces: two nodes that read the same compare equal whatever their layout.
std::string tokens(std::string_view s) {
    std::string out;
    bool quote = false, space = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            out += c;
            if (c == '\\' && i + 1 < s.size())
                out += s[++i];
            else if (c == '"')
                quote = false;
            continue;
        }
        if (isWhite(c)) {
            space = true;
            continue;
        }
        if (space && !out.empty() && out.back() != '(' && c != ')') out += ' ';
        space = false;
        out += c;
        quote = c == '"';
    }
    return out;
}

struct Range {
    uint32_t begin, end;
};

class Splicer {
public:
    explicit Splicer(const sch::SchematicFile& file) : f_(file), doc_(file.doc), s_(file.doc.bytes()) {
        const size_t lf = s_.find('\n');
        eol_ = lf != std::string::npos && lf > 0 && s_[lf - 1] == '\r' ? "\r\n" : "\n";
    }

    // The bytes a removed node takes with it: the line that held it (from
    // the line end before it), or the blanks before it on a shared line.
    Range rangeOf(NodeIndex n) const {
        uint32_t b = doc_.node(n).begin;
        while (b > 0 && isBlank(s_[b - 1]))
            --b;
        if (b > 0 && s_[b - 1] == '\n') {
            --b;
            if (b > 0 && s_[b - 1] == '\r') --b;
        }
        return {b, doc_.node(n).end};
    }

    // A blank line ends just before `at` (which starts a line end).
    bool blankLineBefore(uint32_t at, uint32_t& lineStart) const {
        uint32_t q = at;
        while (q > 0 && isBlank(s_[q - 1]))
            --q;
        if (q == 0 || s_[q - 1] != '\n') return false;
        --q;
        if (q > 0 && s_[q - 1] == '\r') --q;
        lineStart = q;
        return true;
    }

    // The node ending at `at` is followed by a line end and a blank line.
    bool blankLineAfter(uint32_t at) const {
        uint32_t q = at;
        for (int k = 0; k < 2; ++k) {
            while (q < s_.size() && isBlank(s_[q]))
                ++q;
            if (q < s_.size() && s_[q] == '\r') ++q;
            if (q >= s_.size() || s_[q] != '\n') return false;
            ++q;
        }
        return true;
    }

    std::vector<Range> removalRanges(std::vector<NodeIndex> nodes) const {
        std::sort(nodes.begin(), nodes.end());
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
        std::vector<Range> out;
        size_t i = 0;
        while (i < nodes.size()) {
            // A run: removed nodes with nothing but whitespace between them.
            size_t j = i;
            while (j + 1 < nodes.size() && onlyWhite(doc_.node(nodes[j]).end, doc_.node(nodes[j + 1]).begin))
                ++j;
            std::vector<Range> run;
            for (size_t k = i; k <= j; ++k)
                run.push_back(rangeOf(nodes[k]));
            // A run framed by blank lines on both sides takes one of them:
            // KiCad 6 and 7 put a blank line around each group of items.
            uint32_t lineStart = 0;
            const uint32_t first = run.front().begin;
            if (first < s_.size() && (s_[first] == '\n' || s_[first] == '\r') && blankLineBefore(first, lineStart) &&
                blankLineAfter(run.back().end))
                run.front().begin = lineStart;
            out.insert(out.end(), run.begin(), run.end());
            i = j + 1;
        }
        return out;
    }

    bool onlyWhite(uint32_t b, uint32_t e) const {
        for (uint32_t k = b; k < e; ++k)
            if (!isWhite(s_[k])) return false;
        return true;
    }

    // Where new children of `parent` go, and what precedes them there.
    std::pair<uint32_t, std::string> insertionPoint(NodeIndex parent, const std::set<NodeIndex>& removed,
                                                    const std::vector<Range>& ranges) const {
        std::vector<NodeIndex> kept;
        doc_.forEachChild(parent, [&](NodeIndex c) {
            if (!removed.count(c)) kept.push_back(c);
        });
        auto lastWith = [&](std::initializer_list<std::string_view> heads) {
            NodeIndex last = kNone;
            for (NodeIndex c : kept)
                if (oneOf(doc_.head(c), heads)) last = c;
            return last;
        };
        if (parent != doc_.root()) {
            NodeIndex at = lastWith({"property"});
            if (at == kNone) at = lastWith({"uuid"});
            if (at == kNone) at = kept.back();
            return {doc_.node(at).end, {}};
        }
        if (const NodeIndex t = lastWith({"text"}); t != kNone) return {doc_.node(t).end, {}};
        if (f_.version >= kTabFormVersion) {
            NodeIndex at = lastWith({"lib_symbols", "bus_alias"});
            if (at == kNone)
                at = lastWith(
                    {"version", "generator", "generator_version", "host", "uuid", "paper", "page", "title_block"});
            if (at == kNone) at = kept.front();
            return {doc_.node(at).end, {}};
        }
        // KiCad 6 and 7 write texts before the labels, symbols and sheets,
        // as a group framed by blank lines.
        size_t anchor = 0;
        while (anchor < kept.size() &&
               !oneOf(doc_.head(kept[anchor]),
                      {"label", "global_label", "hierarchical_label", "directive_label", "netclass_flag", "symbol",
                       "sheet", "sheet_instances", "symbol_instances"}))
            ++anchor;
        if (anchor == 0 || anchor == kept.size()) return {doc_.node(kept.back()).end, {}};
        const uint32_t from = doc_.node(kept[anchor - 1]).end, to = doc_.node(kept[anchor]).begin;
        // The gap as it is once the removals are out.
        std::string gap;
        uint32_t k = from;
        for (const Range& r : ranges) {
            if (r.end <= from || r.begin >= to) continue;
            gap.append(s_, k, std::max(r.begin, k) - k);
            k = std::max(k, r.end);
        }
        if (k < to) gap.append(s_, k, to - k);
        std::string noCr;
        for (char c : gap)
            if (c != '\r' && !isBlank(c)) noCr += c;
        return {from, noCr.find("\n\n") != std::string::npos ? eol_ : std::string()};
    }

    std::string withEol(const std::string& node) const {
        if (eol_ == "\n") return node;
        std::string out;
        out.reserve(node.size() + node.size() / 16);
        for (char c : node) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    }

    const sch::SchematicFile& f_;
    const Sexpr& doc_;
    const std::string& s_;
    std::string eol_;
};

}  // namespace

std::string applyEdits(const sch::SchematicFile& file, const std::vector<NodeIndex>& removalsIn,
                       std::vector<Insertion> insertions) {
    const Sexpr& doc = file.doc;
    Splicer sp(file);
    // Writing what is there already changes nothing.
    std::vector<NodeIndex> removals;
    std::vector<bool> cancelled(insertions.size(), false);
    std::unordered_multimap<std::string, size_t> byTokens;
    for (size_t i = 0; i < insertions.size(); ++i)
        byTokens.emplace(tokens(insertions[i].node), i);
    for (NodeIndex r : removalsIn) {
        auto [it, end] = byTokens.equal_range(tokens(doc.source(r)));
        const SexprNode& node = doc.node(r);
        while (it != end && !(doc.node(insertions[it->second].parent).begin < node.begin &&
                              node.end <= doc.node(insertions[it->second].parent).end))
            ++it;
        if (it == end) {
            removals.push_back(r);
            continue;
        }
        cancelled[it->second] = true;
        byTokens.erase(it);
    }
    std::vector<Insertion> kept;
    for (size_t i = 0; i < insertions.size(); ++i)
        if (!cancelled[i]) kept.push_back(std::move(insertions[i]));
    if (removals.empty() && kept.empty()) return doc.bytes();

    const std::vector<Range> ranges = sp.removalRanges(removals);
    const std::set<NodeIndex> removed(removals.begin(), removals.end());
    std::stable_sort(kept.begin(), kept.end(), [](const Insertion& a, const Insertion& b) {
        return a.parent != b.parent ? a.parent < b.parent : a.node < b.node;
    });
    struct Put {
        uint32_t at;
        std::string bytes;
    };
    std::vector<Put> puts;
    for (size_t i = 0; i < kept.size();) {
        auto [at, prefix] = sp.insertionPoint(kept[i].parent, removed, ranges);
        std::string bytes = prefix;
        const NodeIndex parent = kept[i].parent;
        for (; i < kept.size() && kept[i].parent == parent; ++i)
            bytes += sp.eol_ + sp.withEol(kept[i].node);
        puts.push_back({at, std::move(bytes)});
    }
    std::sort(puts.begin(), puts.end(), [](const Put& a, const Put& b) { return a.at < b.at; });

    const std::string& s = doc.bytes();
    std::string out;
    out.reserve(s.size() + 256 * kept.size());
    uint32_t k = 0;
    size_t p = 0;
    for (const Range& r : ranges) {
        for (; p < puts.size() && puts[p].at <= r.begin; ++p) {
            out.append(s, k, puts[p].at - k);
            out += puts[p].bytes;
            k = puts[p].at;
        }
        out.append(s, k, r.begin - k);
        k = r.end;
    }
    for (; p < puts.size(); ++p) {
        out.append(s, k, puts[p].at - k);
        out += puts[p].bytes;
        k = puts[p].at;
    }
    out.append(s, k, s.size() - k);
    return out;
}

std::vector<std::string> instancePathsOf(const sch::Project& project, int file) {
    std::vector<std::string> out;
    for (const sch::SheetInstance& in : project.instances)
        if (in.file == file) out.push_back(in.path);
    return out;
}

std::vector<int> labelOccurrences(const sch::SchematicFile& file) {
    std::vector<int> out(file.labels.size(), 0);
    std::unordered_map<std::string, int> seen;
    for (size_t l = 0; l < file.labels.size(); ++l) {
        const sch::Label& label = file.labels[l];
        if (label.kind != sch::LabelKind::Global && label.kind != sch::LabelKind::Hierarchical) continue;
        out[l] = seen[label.uuid]++;
    }
    return out;
}

TextOwnership classifyTexts(const sch::SchematicFile& file, const std::vector<std::string>& instancePaths) {
    TextOwnership out;
    std::vector<int> candidates;
    for (size_t t = 0; t < file.texts.size(); ++t) {
        const std::string& s = file.texts[t].text;
        if (s.starts_with("@") || (s.starts_with("${ORL_") && s.ends_with("}")))
            candidates.push_back(static_cast<int>(t));
    }
    if (candidates.empty()) return out;
    // Derived uuids of every label, instance and row a text can stand for,
    // whatever other texts the file holds; those of earlier versions too,
    // so that their texts are replaced rather than kept as a user's. They
    // are derived a row at a time, and only while texts are left
    // unexplained: ORLUNE writes row 0 first, so a file of its own texts
    // costs about one hash per label and path.
    std::vector<std::string> paths = instancePaths;
    paths.emplace_back();
    const std::vector<int> occurrences = labelOccurrences(file);
    std::unordered_map<std::string, OwnedText> derived;
    std::vector<int> pending = std::move(candidates);
    std::vector<int> mismatched;
    for (int row = 0; row < kMaxOwnedRows && !pending.empty(); ++row) {
        derived.clear();
        for (size_t l = 0; l < file.labels.size(); ++l) {
            const sch::Label& label = file.labels[l];
            if (label.kind != sch::LabelKind::Global && label.kind != sch::LabelKind::Hierarchical) continue;
            const int occurrence = occurrences[l];
            for (const std::string& path : paths) {
                const OwnedText o{-1, static_cast<int>(l), path, row};
                derived.emplace(ownedTextUuid(label.uuid, path, row, occurrence), o);
                if (occurrence == 0) derived.emplace(legacyOwnedTextUuid(label.uuid, path, row), o);
            }
        }
        std::vector<int> unexplained;
        for (int t : pending) {
            const sch::FreeText& text = file.texts[static_cast<size_t>(t)];
            const auto it = derived.find(text.uuid);
            if (it == derived.end()) {
                unexplained.push_back(t);
                continue;
            }
            if (!text.text.starts_with("@")) {
                const size_t l = static_cast<size_t>(it->second.label);
                if (text.text !=
                    perInstanceText(perInstanceVariable(file.labels[l].uuid, it->second.row, occurrences[l]))) {
                    mismatched.push_back(t);  // a uuid of ours on a text that is not
                    continue;
                }
            }
            OwnedText o = it->second;
            o.text = t;
            out.owned.push_back(std::move(o));
        }
        pending = std::move(unexplained);
    }
    pending.insert(pending.end(), mismatched.begin(), mismatched.end());
    std::sort(pending.begin(), pending.end());
    for (int t : pending) {
        const sch::FreeText& text = file.texts[static_cast<size_t>(t)];
        if (isOwnedTextUuid(text.uuid))
            out.orphans.push_back(t);
        else if (text.text.starts_with("@"))
            out.foreign.push_back(t);
    }
    std::sort(out.owned.begin(), out.owned.end(),
              [](const OwnedText& a, const OwnedText& b) { return a.text < b.text; });
    return out;
}

namespace {

// The project's newest file version: no KiCad older than the one that
// writes it opens the project.
int64_t newestVersion(const sch::Project& project) {
    int64_t v = 0;
    for (const sch::SchematicFile& f : project.files)
        v = std::max(v, f.version);
    return v;
}

// How an instance's page gets its list where it differs per page: in a
// field of its own sheet symbol (its parent file is used once), or in a
// field of its parent's sheet symbol that the field of its own sheet
// symbol refers to (its grandparent file is used once, and every KiCad
// that opens the project resolves a variable along the page's path and
// expands a field's value: KiCad 9 files), or not at all.
enum class PerPage { Own, Parent, None };

PerPage perPageHolder(const sch::Project& project, const std::vector<int>& uses, const sch::SheetInstance& in) {
    if (in.parent < 0) return PerPage::None;
    const sch::SheetInstance& parent = project.instances[static_cast<size_t>(in.parent)];
    if (uses[static_cast<size_t>(parent.file)] == 1) return PerPage::Own;
    if (parent.parent < 0 || newestVersion(project) < kNestedVariablesVersion) return PerPage::None;
    const int grandFile = project.instances[static_cast<size_t>(parent.parent)].file;
    return uses[static_cast<size_t>(grandFile)] == 1 ? PerPage::Parent : PerPage::None;
}

// How many pages show each file: a file that another project of the
// folder shows too counts one more, so that it is written as a reused
// file, one reference per label whose list each project's own sheet symbol
// holds; no project then takes the other's texts for stale ones.
std::vector<int> usesOf(const sch::Project& project) {
    std::vector<int> uses(project.files.size(), 0);
    for (const sch::SheetInstance& in : project.instances)
        ++uses[static_cast<size_t>(in.file)];
    for (size_t f = 0; f < project.otherProjects.size() && f < uses.size(); ++f)
        if (!project.otherProjects[f].empty()) ++uses[f];
    return uses;
}

// The uuid of an instance's own sheet symbol: the last step of its path.
std::string_view sheetUuidOf(const sch::SheetInstance& in) {
    const std::string_view path = in.path;
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool perInstanceFieldsPossible(const sch::Project& project, int file) {
    const std::vector<int> uses = usesOf(project);
    for (const sch::SheetInstance& in : project.instances)
        if (in.file == file && perPageHolder(project, uses, in) == PerPage::None) return false;
    return true;
}

std::string perInstanceText(const std::string& variable) {
    return "${" + variable + "}";
}

namespace {

bool isOwnedFieldName(std::string_view name) {
    if (name.size() != 14 || !name.starts_with("ORL_")) return false;
    return std::all_of(name.begin() + 4, name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

FileInsertion perInstanceField(const sch::Project& project, int instance, const std::string& variable,
                               const std::string& value, int ordinal) {
    const sch::SheetInstance& in = project.instances[static_cast<size_t>(instance)];
    const int parentFile = project.instances[static_cast<size_t>(in.parent)].file;
    const sch::SchematicFile& f = project.files[static_cast<size_t>(parentFile)];
    const sch::SheetSymbol& sheet = f.sheets[static_cast<size_t>(in.sheetInParent)];
    FieldParams params;
    params.name = variable;
    params.value = value;
    params.at = sheet.at;
    params.height = params.width = project.drawing.defaultTextSize;
    // KiCad 6 places a sheet's fields by id: ORLUNE's come after the sheet's
    // own, numbered the same on every run.
    int fields = 0;
    f.doc.forEachChild(sheet.node, [&](NodeIndex c) {
        fields += f.doc.head(c) == "property" && !isOwnedFieldName(f.doc.text(f.doc.child(c, 1)));
    });
    params.id = std::max(fields, 2) + ordinal;
    return {parentFile, {sheet.node, hiddenFieldNode(params, f.version, 2)}};
}

std::vector<NodeIndex> ownedSheetFields(const sch::SchematicFile& file) {
    std::vector<NodeIndex> out;
    for (const sch::SheetSymbol& sheet : file.sheets)
        file.doc.forEachChild(sheet.node, [&](NodeIndex c) {
            if (file.doc.head(c) == "property" && isOwnedFieldName(file.doc.text(file.doc.child(c, 1))))
                out.push_back(c);
        });
    return out;
}

std::string resolvePerInstance(const sch::Project& project, int instance, const std::string& text) {
    // As KiCad resolves a variable on a page: the fields of the page's sheet
    // symbol, then those of every sheet symbol above it; a value that is a
    // reference itself is resolved the same way, from the page.
    auto lookUp = [&](std::string_view name) -> const std::string* {
        for (int k = instance; k >= 0;) {
            const sch::SheetInstance& in = project.instances[static_cast<size_t>(k)];
            if (in.parent < 0) break;
            const sch::SchematicFile& f =
                project.files[static_cast<size_t>(project.instances[static_cast<size_t>(in.parent)].file)];
            for (const sch::Property& p : f.sheets[static_cast<size_t>(in.sheetInParent)].fields)
                if (p.name == name) return &p.value;
            k = in.parent;
        }
        return nullptr;
    };
    std::string shown = text;
    for (int hop = 0; hop < 2 && shown.starts_with("${ORL_") && shown.ends_with("}"); ++hop) {
        const std::string* value = lookUp(std::string_view(shown).substr(2, shown.size() - 3));
        if (!value) break;
        shown = *value;
    }
    return shown;
}

WriteBack planWriteBack(const sch::Project& project, const std::vector<PlacedText>& texts) {
    WriteBack out;
    const size_t nFiles = project.files.size();
    std::vector<std::vector<NodeIndex>> removals(nFiles);
    std::vector<std::vector<Insertion>> insertions(nFiles);
    const std::vector<int> uses = usesOf(project);
    for (size_t f = 0; f < nFiles; ++f) {
        const sch::SchematicFile& file = project.files[f];
        const TextOwnership own = classifyTexts(file, instancePathsOf(project, static_cast<int>(f)));
        for (const OwnedText& o : own.owned)
            removals[f].push_back(file.texts[static_cast<size_t>(o.text)].node);
        // ORLUNE's texts whose label is gone go too.
        for (int t : own.orphans)
            removals[f].push_back(file.texts[static_cast<size_t>(t)].node);
        for (int t : own.foreign)
            out.foreignTexts.emplace_back(static_cast<int>(f), t);
        for (NodeIndex n : ownedSheetFields(file))
            removals[f].push_back(n);
    }
    std::vector<std::vector<int>> occurrences(nFiles);
    for (size_t f = 0; f < nFiles; ++f)
        occurrences[f] = labelOccurrences(project.files[f]);
    // The texts of one label and row, over the instances of its file.
    std::map<std::tuple<int, int, int>, std::vector<const PlacedText*>> groups;
    for (const PlacedText& t : texts)
        groups[{project.instances[static_cast<size_t>(t.instance)].file, t.label, t.row}].push_back(&t);
    // ORLUNE fields put into each sheet symbol, by (file, sheet): KiCad 6
    // numbers them; a field that several pages share goes in once.
    std::map<std::pair<int, int>, int> fieldsOf;
    std::set<std::tuple<int, int, std::string>> fieldsPut;
    auto putField = [&](int instance, const std::string& variable, const std::string& value) {
        const sch::SheetInstance& in = project.instances[static_cast<size_t>(instance)];
        const int parentFile = project.instances[static_cast<size_t>(in.parent)].file;
        if (!fieldsPut.emplace(parentFile, in.sheetInParent, variable).second) return;
        FileInsertion fi =
            perInstanceField(project, instance, variable, value, fieldsOf[{parentFile, in.sheetInParent}]++);
        insertions[static_cast<size_t>(fi.file)].push_back(std::move(fi.insertion));
    };
    auto same = [](const TextParams& a, const TextParams& b) {
        return a.text == b.text && a.x == b.x && a.y == b.y && a.run == b.run && a.height == b.height &&
               a.width == b.width;
    };
    for (const auto& [key, group] : groups) {
        const auto [f, l, row] = key;
        const sch::SchematicFile& file = project.files[static_cast<size_t>(f)];
        const std::string& labelUuid = file.labels[static_cast<size_t>(l)].uuid;
        const int occurrence = occurrences[static_cast<size_t>(f)][static_cast<size_t>(l)];
        TextParams params = group.front()->params;
        if (uses[static_cast<size_t>(f)] == 1) {
            params.uuid = ownedTextUuid(labelUuid, project.instances[static_cast<size_t>(group.front()->instance)].path,
                                        row, occurrence);
            insertions[static_cast<size_t>(f)].push_back({0, textNode(params, file.version)});
            continue;
        }
        const bool everywhere =
            static_cast<int>(group.size()) == uses[static_cast<size_t>(f)] &&
            std::all_of(group.begin(), group.end(), [&](const PlacedText* t) { return same(t->params, params); });
        if (!everywhere && !perInstanceFieldsPossible(project, f)) {
            out.differsPerPage.emplace_back(f, l);
            continue;
        }
        params.uuid = ownedTextUuid(labelUuid, "", row, occurrence);
        if (!everywhere) {
            const std::string variable = perInstanceVariable(labelUuid, row, occurrence);
            params.text = perInstanceText(variable);
            for (size_t i = 0; i < project.instances.size(); ++i) {
                const sch::SheetInstance& in = project.instances[i];
                if (in.file != f) continue;
                std::string value;
                for (const PlacedText* t : group)
                    if (t->instance == static_cast<int>(i)) value = t->params.text;
                if (perPageHolder(project, uses, in) == PerPage::Own) {
                    putField(static_cast<int>(i), variable, value);
                    continue;
                }
                // The page's own sheet symbol is shared by every page of its
                // parent file: it names a variable per sheet symbol, which
                // the parent's sheet symbol (one per page) holds.
                const std::string outer = perInstanceVariable(labelUuid, row, occurrence, sheetUuidOf(in));
                putField(static_cast<int>(i), variable, perInstanceText(outer));
                putField(in.parent, outer, value);
            }
        }
        insertions[static_cast<size_t>(f)].push_back({0, textNode(params, file.version)});
    }
    for (size_t f = 0; f < nFiles; ++f) {
        if (removals[f].empty() && insertions[f].empty()) continue;
        std::string bytes = applyEdits(project.files[f], removals[f], std::move(insertions[f]));
        if (bytes != project.files[f].doc.bytes()) out.files.emplace_back(static_cast<int>(f), std::move(bytes));
    }
    return out;
}

std::string labelFieldsRefusal(const sch::SchematicFile& file) {
    return file.path + " is a KiCad 6 file (version " + std::to_string(file.version) +
           "), whose labels cannot carry \"SH_TYPE\": save the project with KiCad 7 or newer";
}

Insertion shTypeInsertion(const sch::SchematicFile& file, const sch::Label& label) {
    FieldParams params;
    params.name = "SH_TYPE";
    params.value = "1";
    params.at = label.at;
    params.height = label.size.height;
    params.width = label.size.width;
    int fields = 0;
    file.doc.forEachChild(label.node, [&](NodeIndex c) { fields += file.doc.head(c) == "property"; });
    params.id = fields;
    return {label.node, hiddenFieldNode(params, file.version, 2)};
}

NodeIndex findField(const Sexpr& doc, NodeIndex parent, std::string_view name) {
    NodeIndex found = kNone;
    doc.forEachChild(parent, [&](NodeIndex c) {
        if (found == kNone && doc.head(c) == "property" && doc.text(doc.child(c, 1)) == name) found = c;
    });
    return found;
}

namespace {

// The string value of a top-level key of a small JSON object, or empty.
std::string jsonString(const std::string& json, std::string_view key) {
    const std::string quotedKey = "\"" + std::string(key) + "\"";
    size_t at = json.find(quotedKey);
    if (at == std::string::npos) return {};
    at = json.find(':', at + quotedKey.size());
    if (at == std::string::npos) return {};
    at = json.find('"', at);
    if (at == std::string::npos) return {};
    std::string out;
    for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\\' && i + 1 < json.size()) {
            const char e = json[++i];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
            out += json[i];
        }
    }
    return out;
}

}  // namespace

std::optional<KicadLock> kicadLock(const std::string& rootSchematic) {
    namespace fs = std::filesystem;
    const fs::path root(rootSchematic);
    const fs::path lock = root.parent_path() / ("~" + root.filename().string() + ".lck");
    // Never blocks: a pipe or a device at the lock's place is refused, not
    // opened for reading.
    struct stat st {};
    if (::lstat(lock.c_str(), &st) != 0) return std::nullopt;
    KicadLock out;
    if (!S_ISREG(st.st_mode)) {
        out.notRegular = true;
        return out;
    }
    std::string json;
    if (const int fd = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); fd >= 0) {
        char buffer[4096];
        ssize_t n = 0;
        while (json.size() < (1 << 16) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            json.append(buffer, static_cast<size_t>(n));
        ::close(fd);
    }
    out.user = jsonString(json, "username");
    out.host = jsonString(json, "hostname");
    if (out.user.empty()) out.user = "another user";
    if (out.host.empty()) out.host = "an unknown host";
    return out;
}

std::string kicadLockReason(const std::string& rootSchematic, const KicadLock& lock) {
    if (lock.notRegular)
        return "~" + std::filesystem::path(rootSchematic).filename().string() + ".lck beside " + rootSchematic +
               " is not a regular file, so it is no lock KiCad wrote: nothing is written while it is there";
    return std::filesystem::path(rootSchematic).filename().string() + " is open in KiCad by " + lock.user + " on " +
           lock.host + ": close the schematic in KiCad first";
}

}  // namespace orlune::kicad
