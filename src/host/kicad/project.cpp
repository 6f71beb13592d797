#include "host/kicad/project.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include "host/json.h"

namespace orlune::kicad::sch {

namespace fs = std::filesystem;

namespace {

// Versions that moved data out of the root file into the sheets and symbols.
constexpr int64_t kSymbolInstancesInSymbols = 20221002;
constexpr int64_t kSheetInstancesInSheets = 20221110;

constexpr size_t kMaxInstances = 1000;

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// KiCad removes whitespace from page strings.
std::string withoutSpace(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
    return out;
}

// The page string as a whole number from 0 to 100, or -1. A root page "0"
// is what KiCad prints, so it is a page like any other.
int pageNumber(std::string_view page) {
    int value = 0;
    const auto [end, ec] = std::from_chars(page.data(), page.data() + page.size(), value);
    if (page.empty() || ec != std::errc() || end != page.data() + page.size() || page[0] == '+' || page[0] == '-')
        return -1;
    return value >= 0 && value <= 100 ? value : -1;
}

void readProjectFile(Project& project) {
    const auto bytes = std::make_shared<const std::string>(readFile(project.projectFile));
    host::JsonDocument doc;
    host::JsonError error;
    if (!host::parseJson(bytes, doc, error))
        throw ReadError(project.projectFile + ":" + std::to_string(error.line) + ": " + error.message);
    if (!doc.isObject(doc.root)) throw ReadError(project.projectFile + ": is not a JSON object");
    const auto number = [&](host::JsonIndex object, std::string_view key, double fallback) {
        const host::JsonIndex v = doc.isObject(object) ? doc.find(object, key) : host::kNoNode;
        if (v == host::kNoNode || doc.type(v) != host::JsonType::Number) return fallback;
        double out = fallback;
        const std::string_view t = doc.text(v);
        std::from_chars(t.data(), t.data() + t.size(), out);
        return out;
    };
    if (const host::JsonIndex vars = doc.find(doc.root, "text_variables"); doc.isObject(vars)) {
        for (uint32_t k = 0; k < doc.size(vars); ++k)
            if (doc.type(doc.value(vars, k)) == host::JsonType::String)
                project.textVariables.emplace_back(doc.text(doc.key(vars, k)), doc.text(doc.value(vars, k)));
    }
    const host::JsonIndex schematic = doc.find(doc.root, "schematic");
    if (!doc.isObject(schematic)) return;
    if (const host::JsonIndex drawing = doc.find(schematic, "drawing"); doc.isObject(drawing)) {
        // The default text size is in mils.
        project.drawing.defaultTextSize = static_cast<int32_t>(
            std::lround(std::clamp(number(drawing, "default_text_size", 50.0), 0.0, 4000.0) * 254.0));
        // Ratios beyond these make no drawable label; keep them in range.
        project.drawing.textOffsetRatio = std::clamp(number(drawing, "text_offset_ratio", 0.15), 0.0, 10.0);
        project.drawing.labelSizeRatio = std::clamp(number(drawing, "label_size_ratio", 0.375), 0.0, 10.0);
        const host::JsonIndex show = doc.find(drawing, "intersheets_ref_show");
        project.drawing.intersheetsRefShow = show != host::kNoNode && doc.type(show) == host::JsonType::True;
    }
    project.subpartSeparator = static_cast<int>(std::clamp(number(schematic, "subpart_id_separator", 0.0), 0.0, 255.0));
    project.subpartFirstId = static_cast<int>(std::clamp(number(schematic, "subpart_first_id", 'A'), 0.0, 255.0));
    if (const host::JsonIndex top = doc.find(schematic, "top_level_sheets");
        top != host::kNoNode && doc.type(top) == host::JsonType::Array) {
        if (doc.size(top) > 1)
            throw ReadError(project.projectFile + ": the project has " + std::to_string(doc.size(top)) +
                            " top-level sheets; only projects with one are supported");
        if (doc.size(top) == 1) {
            const host::JsonIndex sheet = doc.element(top, 0);
            const host::JsonIndex file = doc.isObject(sheet) ? doc.find(sheet, "filename") : host::kNoNode;
            if (file != host::kNoNode && doc.type(file) == host::JsonType::String) project.rootFile = doc.text(file);
        }
    }
    if (const host::JsonIndex aliases = doc.find(schematic, "bus_aliases"); doc.isObject(aliases)) {
        for (uint32_t k = 0; k < doc.size(aliases); ++k) {
            BusAlias alias;
            alias.name = doc.text(doc.key(aliases, k));
            const host::JsonIndex members = doc.value(aliases, k);
            if (doc.type(members) != host::JsonType::Array) continue;
            for (uint32_t m = 0; m < doc.size(members); ++m)
                if (doc.type(doc.element(members, m)) == host::JsonType::String)
                    alias.members.emplace_back(doc.text(doc.element(members, m)));
            project.busAliases.push_back(std::move(alias));
        }
    }
}

class HierarchyReader {
public:
    explicit HierarchyReader(Project& p) : p_(p) {}

    void read(const fs::path& rootFile) {
        if (fileIndex(rootFile) < 0) throw ReadError(rootFile.string() + ": does not exist");
        const SchematicFile& root = p_.files[0];
        oldSheetTable_ = root.version < kSheetInstancesInSheets;
        oldSymbolTable_ = root.version < kSymbolInstancesInSymbols;
        for (size_t i = 0; i < root.symbolInstances.size(); ++i)
            rootSymbols_.emplace(root.symbolInstances[i].path, i);

        SheetInstance top;
        top.file = 0;
        top.path = "/" + root.uuid;
        top.shortPath = "/";
        top.humanPath = "/";
        top.pageString = "1";  // a file without a page table is a one-page project
        for (const SheetInstanceEntry& e : root.sheetInstances)
            if (e.path == "/") top.pageString = withoutSpace(e.page);
        p_.instances.push_back(std::move(top));
        std::vector<int> ancestors{0};
        descend(0, ancestors);
    }

private:
    // Index of the file at `path`, reading it the first time; -1 when there
    // is no such file.
    int fileIndex(const fs::path& path) {
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(path, ec);
        const std::string key = (ec ? path : canonical).string();
        if (const auto it = byPath_.find(key); it != byPath_.end()) return it->second;
        if (!fs::is_regular_file(path, ec)) return -1;
        p_.files.push_back(loadSchematic(path.string()));
        const int index = static_cast<int>(p_.files.size()) - 1;
        byPath_.emplace(key, index);
        return index;
    }

    void descend(int instance, std::vector<int>& ancestorFiles) {
        const int fileIdx = p_.instances[static_cast<size_t>(instance)].file;
        resolveSymbols(instance);
        // KiCad numbers pages depth first, children by position, then uuid.
        std::vector<int> order(p_.files[static_cast<size_t>(fileIdx)].sheets.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = static_cast<int>(k);
        {
            const auto& sheets = p_.files[static_cast<size_t>(fileIdx)].sheets;
            std::sort(order.begin(), order.end(), [&](int a, int b) {
                const SheetSymbol& sa = sheets[static_cast<size_t>(a)];
                const SheetSymbol& sb = sheets[static_cast<size_t>(b)];
                if (sa.at.x != sb.at.x) return sa.at.x < sb.at.x;
                if (sa.at.y != sb.at.y) return sa.at.y < sb.at.y;
                return sa.uuid < sb.uuid;
            });
        }
        for (int k : order) {
            // Reading a child file grows p_.files: take what is needed first.
            const auto sheetAt = [&]() -> const SheetSymbol& {
                return p_.files[static_cast<size_t>(fileIdx)].sheets[static_cast<size_t>(k)];
            };
            // Where the sheet symbol is, for messages only: finding a line is not free.
            const auto where = [&] { return p_.files[static_cast<size_t>(fileIdx)].where(sheetAt().node); };
            const std::string sheetName = sheetAt().name, sheetFile = sheetAt().file;
            fs::path childPath = fs::path(sheetFile);
            if (childPath.is_relative())
                childPath = fs::path(p_.files[static_cast<size_t>(fileIdx)].path).parent_path() / childPath;
            const int childFile = fileIndex(childPath);
            if (childFile < 0)
                throw ReadError(where() + ": the sheet \"" + sheetName + "\" uses \"" + sheetFile +
                                "\", which does not exist");
            if (std::find(ancestorFiles.begin(), ancestorFiles.end(), childFile) != ancestorFiles.end())
                throw ReadError(where() + ": the sheet \"" + sheetName + "\" uses \"" + sheetFile +
                                "\", which contains this sheet itself");
            const SheetSymbol& sheet = sheetAt();
            const SheetInstance& parent = p_.instances[static_cast<size_t>(instance)];
            SheetInstance child;
            child.file = childFile;
            child.parent = instance;
            child.sheetInParent = k;
            child.depth = parent.depth + 1;
            child.path = parent.path + "/" + sheet.uuid;
            child.shortPath = (parent.shortPath == "/" ? std::string() : parent.shortPath) + "/" + sheet.uuid;
            child.humanPath = parent.humanPath + sheet.name + "/";
            child.pageString = withoutSpace(pageOf(sheet, parent.path, child.shortPath));
            child.page = pageNumber(child.pageString);
            if (child.page < 0 && child.pageString.empty())
                throw ReadError(where() + ": the sheet " + child.humanPath +
                                " has no page number; renumber the pages in KiCad");
            if (child.page < 0)
                throw ReadError(where() + ": the page \"" + child.pageString + "\" of the sheet " + child.humanPath +
                                " is not a whole number from 0 to 100; renumber the pages in KiCad");
            // Pages are numbered 1 to 100: a hierarchy far beyond that is a
            // file that reuses sheets without end, not a schematic.
            if (p_.instances.size() >= kMaxInstances)
                throw ReadError(where() + ": the hierarchy has more than " + std::to_string(kMaxInstances) + " sheets");
            p_.instances.push_back(std::move(child));
            ancestorFiles.push_back(childFile);
            descend(static_cast<int>(p_.instances.size()) - 1, ancestorFiles);
            ancestorFiles.pop_back();
        }
    }

    std::string pageOf(const SheetSymbol& sheet, const std::string& parentPath, const std::string& shortPath) const {
        const auto fromTable = [&](std::string& out) {
            for (const SheetInstanceEntry& e : p_.files[0].sheetInstances)
                if (e.path == shortPath) {
                    out = e.page;
                    return true;
                }
            return false;
        };
        const auto fromSheet = [&](std::string& out) {
            const SheetInstanceEntry* any = nullptr;
            for (const SheetInstanceEntry& e : sheet.instances) {
                if (e.path != parentPath) continue;
                if (e.project == p_.name) {
                    out = e.page;
                    return true;
                }
                if (!any) any = &e;
            }
            if (any) out = any->page;
            return any != nullptr;
        };
        std::string page;
        if (oldSheetTable_ ? (fromTable(page) || fromSheet(page)) : (fromSheet(page) || fromTable(page))) return page;
        return {};
    }

    void resolveSymbols(int instance) {
        SheetInstance& in = p_.instances[static_cast<size_t>(instance)];
        const SchematicFile& file = p_.files[static_cast<size_t>(in.file)];
        in.symbols.resize(file.symbols.size());
        const std::string prefix = in.shortPath == "/" ? std::string("/") : in.shortPath + "/";
        for (size_t k = 0; k < file.symbols.size(); ++k) {
            const PlacedSymbol& s = file.symbols[k];
            SymbolOnInstance& out = in.symbols[k];
            out = {s.reference, s.unit, s.value};
            const auto fromTable = [&] {
                const auto it = rootSymbols_.find(prefix + s.uuid);
                if (it == rootSymbols_.end()) return false;
                const RootSymbolInstance& e = p_.files[0].symbolInstances[it->second];
                out.reference = e.reference;
                if (e.unit > 0) out.unit = e.unit;
                if (!e.value.empty()) out.value = e.value;
                return true;
            };
            const auto fromSymbol = [&] {
                const SymbolInstanceEntry* found = nullptr;
                for (const SymbolInstanceEntry& e : s.instances) {
                    if (e.path != in.path) continue;
                    if (!found || e.project == p_.name) found = &e;
                    if (e.project == p_.name) break;
                }
                if (!found) return false;
                out.reference = found->reference;
                if (found->unit > 0) out.unit = found->unit;
                if (!found->value.empty()) out.value = found->value;
                return true;
            };
            if (oldSymbolTable_) {
                if (!fromTable()) fromSymbol();
            } else if (!fromSymbol()) {
                fromTable();
            }
        }
    }

    Project& p_;
    std::unordered_map<std::string, int> byPath_;
    std::unordered_map<std::string, size_t> rootSymbols_;
    bool oldSheetTable_ = false;
    bool oldSymbolTable_ = false;
};

// KiCad 10 gives every sheet instance a page of its own when it loads a
// project: in page order (by number, ties in hierarchy order) the first
// instance keeps a page that others share, and each later one prints as the
// lowest number no page uses. KiCad 9 printed the shared number on all of
// them; one warning says so, since a printout of either differs.
void renumberSharedPages(Project& p) {
    std::vector<size_t> order(p.instances.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return p.instances[a].page < p.instances[b].page; });
    std::set<int> used;
    for (const SheetInstance& i : p.instances)
        used.insert(i.page);
    std::set<int> kept;
    std::map<int, std::vector<std::string>> moved;  // file's page -> "PATH as N"
    int next = 0;
    for (const size_t k : order) {
        SheetInstance& in = p.instances[k];
        if (kept.insert(in.page).second) continue;
        while (used.count(next) || next == 0)
            ++next;
        used.insert(next);
        moved[in.page].push_back(in.humanPath + " as " + std::to_string(next));
        in.page = next;
        in.pageString = std::to_string(next);
    }
    if (moved.empty()) return;
    std::string list;
    for (const auto& [page, paths] : moved) {
        list += (list.empty() ? "" : "; ") + std::string("\"") + std::to_string(page) + "\": ";
        for (size_t k = 0; k < paths.size(); ++k)
            list += (k ? ", " : "") + paths[k];
    }
    p.warnings.push_back("several sheets carry one page number; KiCad 10 and ORLUNE print " + list +
                         ", where KiCad 9 prints the number the file holds on each: renumber the pages in KiCad");
}

// The first bytes of a file, or empty when it cannot be read.
std::string headOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char head[32] = {};
    in.read(head, sizeof head);
    return std::string(head, static_cast<size_t>(in.gcount()));
}

bool isKicad5Schematic(const fs::path& path) {
    return headOf(path).rfind("EESchema Schematic File", 0) == 0;
}

// A KiCad 5 project: its `.pro` (with its root `.sch` beside it) or one of
// its `.sch` files. Neither is JSON nor an S-expression.
bool isKicad5(const std::string& path) {
    const fs::path p(path);
    if (endsWith(path, ".sch")) return isKicad5Schematic(p);
    return endsWith(path, ".pro") && isKicad5Schematic(fs::path(p).replace_extension(".sch"));
}

// When `schematic` is not a project's root but a sheet of a project whose
// `.kicad_pro` lies beside it, that project file; else empty. A user naming
// a sheet would otherwise get a one-page project that checks as fine.
std::string projectHoldingSheet(const fs::path& schematic) {
    std::error_code ec;
    const fs::path folder = schematic.parent_path().empty() ? fs::path(".") : schematic.parent_path();
    const fs::path self = fs::weakly_canonical(schematic, ec);
    std::vector<fs::path> projects;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".kicad_pro") projects.push_back(e.path());
    std::sort(projects.begin(), projects.end());
    for (const fs::path& pro : projects) {
        try {
            const Project other = readProject(pro.string());
            for (size_t f = 1; f < other.files.size(); ++f)
                if (fs::weakly_canonical(other.files[f].path, ec) == self) return pro.string();
        } catch (const ReadError&) {
            // A project that does not read holds no sheet we can name.
        }
    }
    return {};
}

}  // namespace

void markSharedFiles(Project& project) {
    project.otherProjects.assign(project.files.size(), {});
    std::error_code ec;
    const fs::path folder = project.folder.empty() ? fs::path(".") : fs::path(project.folder);
    std::map<fs::path, size_t> ours;
    for (size_t f = 0; f < project.files.size(); ++f)
        ours.emplace(fs::weakly_canonical(project.files[f].path, ec), f);
    const fs::path self = project.projectFile.empty() ? fs::path() : fs::weakly_canonical(project.projectFile, ec);
    std::vector<fs::path> projects;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".kicad_pro" && fs::weakly_canonical(e.path(), ec) != self)
            projects.push_back(e.path());
    std::sort(projects.begin(), projects.end());
    for (const fs::path& pro : projects) {
        try {
            const Project other = readProject(pro.string());
            for (const SchematicFile& file : other.files)
                if (const auto it = ours.find(fs::weakly_canonical(file.path, ec)); it != ours.end())
                    project.otherProjects[it->second].push_back(pro.filename().string());
        } catch (const ReadError&) {
            // Not readable: KiCad cannot open it either, so it shows no text.
        }
    }
}

bool isKicadProject(const std::string& path) {
    return endsWith(path, ".kicad_pro") || endsWith(path, ".kicad_sch") || isKicad5(path);
}

std::string rootSchematicPath(const std::string& path) {
    if (!endsWith(path, ".kicad_pro")) return path;
    const fs::path given(path);
    Project project;
    project.projectFile = path;
    project.name = given.stem().string();
    try {
        readProjectFile(project);
    } catch (const ReadError&) {
        // An unreadable project file is refused by the read; its default
        // root is the best guess until then.
    }
    return (given.parent_path() / (project.rootFile.empty() ? project.name + ".kicad_sch" : project.rootFile)).string();
}

Project readProject(const std::string& path) {
    Project project;
    const fs::path given(path);
    project.folder = given.parent_path().string();
    project.name = given.stem().string();
    fs::path root;
    std::error_code ec;
    if (endsWith(path, ".kicad_pro")) {
        project.projectFile = path;
        if (!fs::is_regular_file(given, ec)) throw ReadError(path + ": does not exist");
        readProjectFile(project);
        root = given.parent_path() / (project.rootFile.empty() ? project.name + ".kicad_sch" : project.rootFile);
        if (!fs::is_regular_file(root, ec))
            throw ReadError(path + ": the project has no root schematic " + root.filename().string());
    } else if (endsWith(path, ".kicad_sch")) {
        root = given;
        const fs::path pro = given.parent_path() / (project.name + ".kicad_pro");
        if (fs::is_regular_file(pro, ec)) {
            project.projectFile = pro.string();
            readProjectFile(project);
        } else if (const std::string holder = projectHoldingSheet(given); !holder.empty()) {
            throw ReadError(path + ": is a sheet of the project " + fs::path(holder).filename().string() +
                            ", not its root; run ORLUNE on " + holder);
        }
    } else if (isKicad5(path)) {
        throw ReadError(
            path + ": KiCad 5 project: open it in KiCad 6 or newer and save it, then run ORLUNE on the .kicad_pro");
    } else {
        throw ReadError(path + ": is neither a KiCad project (.kicad_pro) nor a schematic (.kicad_sch)");
    }
    if (!fs::is_regular_file(root, ec)) throw ReadError(root.string() + ": does not exist");
    HierarchyReader(project).read(root);
    project.instances[0].page = pageNumber(project.instances[0].pageString);
    if (project.instances[0].page < 0)
        throw ReadError(project.files[0].path + ": the page \"" + project.instances[0].pageString +
                        "\" of the root sheet is not a whole number from 0 to 100; renumber the pages in KiCad");
    renumberSharedPages(project);
    return project;
}

}  // namespace orlune::kicad::sch
