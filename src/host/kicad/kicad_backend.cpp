#include "host/kicad/kicad_backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "host/json.h"
#include "host/kicad/connectivity.h"
#include "host/kicad/layout.h"
#include "host/kicad/project.h"
#include "host/kicad/project_file_edit.h"
#include "host/kicad/to_connectivity.h"
#include "host/kicad/to_design.h"
#include "host/kicad/write_back.h"
#include "host/load.h"
#include "host/save.h"

namespace orlune::kicad {

namespace {

namespace fs = std::filesystem;

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// KiCad marks a schematic it has open with `~NAME.kicad_sch.lck` beside it
// (JSON with the user and the host). Empty when there is none.
std::string openInKicad(const std::string& rootSchematic) {
    const fs::path root(rootSchematic);
    const fs::path lock = root.parent_path() / ("~" + root.filename().string() + ".lck");
    std::error_code ec;
    if (!fs::is_regular_file(lock, ec)) return {};
    std::string who;
    std::string bytes;
    std::string ignored;
    if (host::readDesignBytes(lock.string(), lock.string(), bytes, ignored)) {
        host::JsonDocument doc;
        host::JsonError error;
        if (host::parseJson(std::make_shared<const std::string>(std::move(bytes)), doc, error) &&
            doc.isObject(doc.root)) {
            const auto field = [&](std::string_view key) {
                const host::JsonIndex v = doc.find(doc.root, key);
                return v != host::kNoNode && doc.type(v) == host::JsonType::String ? std::string(doc.text(v))
                                                                                   : std::string();
            };
            const std::string user = field("username");
            const std::string machine = field("hostname");
            if (!user.empty()) who = " by " + user + (machine.empty() ? "" : " on " + machine);
        }
    }
    return rootSchematic + ": the schematic is open in KiCad" + who + " (" + lock.filename().string() +
           "); what it has not saved is not seen here";
}

// The lock of every KiCad project of a folder: "kicad-projects.lock".
constexpr std::string_view kFolderLock = "kicad-projects";

// The folder a project opened by the name `named` lives in, its links
// resolved: the folder its sheet files are read from, even where the
// project file is a link to elsewhere (`path`, resolved, the fallback).
std::string projectFolder(const std::string& path, const std::string& named) {
    std::error_code ec;
    fs::path parent = fs::path(named).parent_path();
    if (parent.empty()) parent = ".";
    const fs::path real = fs::canonical(parent, ec);
    if (!ec) return real.string();
    std::string folder;
    std::string base;
    host::splitPath(path, folder, base);
    return folder;
}

// The file whose lock guarded a project before projects were locked by
// their folder: the project file where there is one.
std::string projectLockedFile(const std::string& path) {
    if (endsWith(path, ".kicad_sch")) {
        fs::path pro(path);
        pro.replace_extension(".kicad_pro");
        std::error_code ec;
        if (fs::is_regular_file(pro, ec)) return pro.string();
    }
    return path;
}

// " (NAME)" of this process, for a holder's words; empty when unknown.
std::string processName() {
    std::string name;
    std::getline(std::ifstream("/proc/self/comm"), name);
    return name.empty() ? std::string() : " (" + name + ")";
}

class KicadBackend final : public host::Backend {
public:
    explicit KicadBackend(std::string file) : file_(std::move(file)) {}

    // One lock for every KiCad project of the folder the project is opened
    // in, whichever of its files is named: projects of one folder share
    // sheet files (board variants), and a save of one writes the sheets the
    // others read. A command on a sibling waits for it as for the project's.
    std::string lockedFile(const std::string& path, const std::string& named) const override {
        return (fs::path(projectFolder(path, named)) / kFolderLock).string();
    }

    // The folder lock's journal, and the journals that versions locking one
    // project at a time left beside a `.kicad_pro` (or a root without one)
    // of the folder, each under that version's lock.
    std::vector<Journal> journals(const std::string& locked, const std::string& path) const override {
        std::vector<Journal> out{{host::journalPathFor(locked), locked}};
        const auto add = [&](const std::string& file) {
            const std::string journal = host::journalPathFor(file);
            for (const Journal& j : out)
                if (j.journal == journal) return;
            out.push_back({journal, file});
        };
        add(projectLockedFile(path));
        std::string folder;
        std::string base;
        host::splitPath(locked, folder, base);
        constexpr std::string_view kSuffix = ".orlune-journal";
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string n = e.path().filename().string();
            if (n.size() < 2 || n[0] != '.' || !endsWith(n, kSuffix)) continue;
            const std::string file = n.substr(1, n.size() - 1 - kSuffix.size());
            if (endsWith(file, ".kicad_pro") || endsWith(file, ".kicad_sch")) found.push_back(folder + "/" + file);
        }
        std::sort(found.begin(), found.end());
        for (const std::string& file : found)
            add(file);
        return out;
    }

    std::string lockHolder(const std::string& path) const override {
        return "process " + std::to_string(::getpid()) + processName() + " has " + path +
               " open, and with it every KiCad project of its folder";
    }

    int32_t read(const std::string&, const std::string& name, std::unique_ptr<host::Design>& design,
                 std::string& reason) override {
        forget();
        if (!endsWith(name, ".kicad_pro") && !endsWith(name, ".kicad_sch")) {
            reason =
                name + ": holds a KiCad schematic, but KiCad projects open by their .kicad_pro or root .kicad_sch file";
            return host::kInvalidDesign;
        }
        Loaded fresh;
        try {
            fresh.project = sch::readProject(name);
            sch::markSharedFiles(fresh.project);
            if (!fresh.project.projectFile.empty()) {
                // What the project file held when the project was read, for
                // the cache; read after the project, so a change in between
                // reads it anew rather than serve a stale design.
                if (!host::readDesignBytes(fresh.project.projectFile, fresh.project.projectFile, fresh.projectFileBytes,
                                           reason))
                    return host::kFileUnreadable;
            }
            fresh.input = toConnectivityInput(fresh.project);
            if (std::string why = busSizeRefusal(fresh.input); !why.empty()) throw ReadError(why);
            fresh.result = computeConnectivity(fresh.input);
            fresh.view = toDesign(fresh.project, fresh.input, fresh.result);
        } catch (const ReadError& e) {
            reason = e.what();
            return host::kInvalidDesign;
        }
        warnings_ = fresh.project.warnings;
        warnings_.insert(warnings_.end(), fresh.view.warnings.begin(), fresh.view.warnings.end());
        if (std::string open = openInKicad(fresh.project.files[0].path); !open.empty()) warnings_.push_back(open);
        design = std::make_unique<host::Design>(std::move(fresh.view.design));
        fresh.view.design = host::Design{};
        loaded_ = std::make_unique<Loaded>(std::move(fresh));
        return host::kOk;
    }

    int unchanged(const std::string&, const std::string&, std::string& reason) override {
        if (!loaded_) return 0;
        const sch::Project& p = loaded_->project;
        if (!p.projectFile.empty()) {
            const int same = host::sameDesignBytes(p.projectFile, p.projectFile, loaded_->projectFileBytes, reason);
            if (same != 1) return same;
        }
        for (const sch::SchematicFile& f : p.files) {
            const int same = host::sameDesignBytes(f.path, f.path, f.doc.bytes(), reason);
            if (same != 1) return same;
        }
        return 1;
    }

    int32_t write(const std::string& path, const std::string& name, const host::Design& design,
                  const std::function<bool(host::SaveStage)>& failStage, std::string& reason) override;

    void forget() override {
        loaded_.reset();
        warnings_.clear();
    }

    const std::vector<std::string>& warnings() const override { return warnings_; }

    std::string designFileText(const host::Design& design) const override;
    host::DesignNotes describe(const host::Design& design) const override;

    // KiCad's own lock: a project it has open is not written.
    std::string cannotWrite() const override {
        const std::string root = loaded_ ? loaded_->project.files[0].path : sch::rootSchematicPath(file_);
        if (const std::optional<KicadLock> lock = kicadLock(root)) return kicadLockReason(root, *lock);
        return {};
    }
    std::string cannotHighlight() const override { return kCannotHighlightKicad; }

    std::vector<std::string> lastWritten() const override { return written_; }
    host::Wording wording() const override {
        return {"page", "pages", "global or hierarchical labels", "reload the schematic in KiCad"};
    }

private:
    struct Loaded {
        sch::Project project;
        std::string projectFileBytes;
        ConnectivityInput input;
        ConnectivityResult result;
        DesignView view;  // its design moved to the host
    };
    std::unique_ptr<Loaded> loaded_;
    std::vector<std::string> warnings_;
    std::vector<std::string> written_;
    std::string file_;

    bool plan(const host::Design& design, std::vector<std::pair<std::string, std::string>>& files, std::string& reason);
};

// The files the changed design asks for, as (path, new bytes): the texts
// the pass left, the "SH_TYPE" fields added, the settings variable.
bool KicadBackend::plan(const host::Design& design, std::vector<std::pair<std::string, std::string>>& files,
                        std::string& reason) {
    const Loaded& l = *loaded_;
    const sch::Project& p = l.project;
    // Each text goes to the label of the connector it was placed for (the
    // pass records it), never to a label guessed by its position: labels
    // closer together than the gap to their texts, or at one point, keep
    // each its own text.
    std::vector<PlacedText> texts;
    for (const host::Item& item : design.items) {
        if (item.deleted || item.type != host::ItemType::Text || !item.text.starts_with("@")) continue;
        if (item.owner < 0 || static_cast<size_t>(item.owner) >= design.components.size() ||
            static_cast<size_t>(item.owner) >= l.view.components.size())
            continue;
        const size_t owner = static_cast<size_t>(item.owner);
        if (l.view.components[owner].label < 0 || design.components[owner].pins.empty()) continue;
        const ComponentOrigin& origin = l.view.components[owner];
        const sch::SheetInstance& instance = p.instances[static_cast<size_t>(origin.instance)];
        const sch::Label& label = p.fileOf(instance).labels[static_cast<size_t>(origin.label)];
        const size_t style =
            static_cast<size_t>(item.style) < l.view.styleSizes.size() ? static_cast<size_t>(item.style) : 0;
        PlacedText t{origin.instance, origin.label, 0, {}};
        t.params =
            placedFor(item, design.components[owner], label, l.view.styleSizes[style], design.textStyles[style].height);
        texts.push_back(std::move(t));
    }
    WriteBack wb = planWriteBack(p, texts);
    for (const auto& [f, l2] : wb.differsPerPage) {
        const sch::SchematicFile& file = p.files[static_cast<size_t>(f)];
        const std::string label = "the label \"" + file.labels[static_cast<size_t>(l2)].text + "\"";
        const std::vector<std::string>& others = p.otherProjects[static_cast<size_t>(f)];
        if (!others.empty())
            warnings_.push_back(file.path + ": " + label + " is on a sheet that " + others.front() +
                                " uses too, and no sheet symbol above it belongs to this project alone to hold "
                                "this project's list: no text placed");
        else
            warnings_.push_back(
                file.path + ": " + label +
                " has a different list on each page of this reused sheet, and the sheets above it are reused too "
                "(KiCad 9 files: two levels up), so no sheet symbol can hold each page's list: no text placed");
    }
    std::map<int, std::string> changed(wb.files.begin(), wb.files.end());

    // "SH_TYPE" added to labels that lacked it, once per label of a file.
    std::map<int, std::set<int>> shType;
    for (size_t c = 0; c < design.components.size() && c < l.view.components.size(); ++c) {
        const ComponentOrigin& origin = l.view.components[c];
        if (origin.label < 0) continue;
        const bool wanted = std::any_of(design.components[c].attributes.begin(), design.components[c].attributes.end(),
                                        [](const host::Attribute& a) { return a.name == "SH_TYPE"; });
        const sch::SheetInstance& instance = p.instances[static_cast<size_t>(origin.instance)];
        const sch::Label& label = p.fileOf(instance).labels[static_cast<size_t>(origin.label)];
        const bool has = std::any_of(label.properties.begin(), label.properties.end(),
                                     [](const sch::Property& prop) { return prop.name == "SH_TYPE"; });
        if (wanted && !has) shType[instance.file].insert(origin.label);
    }
    for (const auto& [f, labels] : shType) {
        const sch::SchematicFile& original = p.files[static_cast<size_t>(f)];
        if (!labelFieldsAllowed(original.version)) {
            reason = labelFieldsRefusal(original);
            return false;
        }
        const auto it = changed.find(f);
        const sch::SchematicFile file =
            it == changed.end() ? sch::SchematicFile{} : sch::readSchematic(original.path, it->second);
        const sch::SchematicFile& base = it == changed.end() ? original : file;
        std::vector<Insertion> fields;
        for (int k : labels)
            fields.push_back(shTypeInsertion(base, base.labels[static_cast<size_t>(k)]));
        changed[f] = applyEdits(base, {}, std::move(fields));
    }
    for (auto& [f, bytes] : changed)
        files.emplace_back(p.files[static_cast<size_t>(f)].path, std::move(bytes));

    // The settings: the project's text variable "ORLUNE".
    for (const host::Attribute& a : design.attributes) {
        if (a.name != "ORLUNE") continue;
        const auto was = std::find_if(p.textVariables.begin(), p.textVariables.end(),
                                      [](const auto& v) { return v.first == "ORLUNE"; });
        if (was != p.textVariables.end() && was->second == a.value) continue;
        if (p.projectFile.empty()) {
            reason = p.files[0].path + ": the settings live in the project file (.kicad_pro), and there is none";
            return false;
        }
        try {
            files.emplace_back(p.projectFile, setTextVariable(l.projectFileBytes, "ORLUNE", a.value));
        } catch (const ReadError& e) {
            reason = p.projectFile + ": " + e.what() + "; the settings cannot be stored";
            return false;
        }
    }
    return true;
}

// Every file changes or none (host::saveFiles).
int32_t KicadBackend::write(const std::string& path, const std::string& name, const host::Design& design,
                            const std::function<bool(host::SaveStage)>& failStage, std::string& reason) {
    written_.clear();
    if (!loaded_) {
        reason = name + ": the project was not read";
        return host::kSaveFailed;
    }
    if (std::string why = cannotWrite(); !why.empty()) {
        reason = why;
        return host::kSaveFailed;
    }
    const int same = unchanged(path, name, reason);
    if (same != 1) {
        if (same == 0)
            reason = name + ": the project's files changed while ORLUNE ran; nothing written (run the command again)";
        return host::kSaveFailed;
    }
    const sch::Project& p = loaded_->project;
    std::vector<std::pair<std::string, std::string>> files;
    try {
        if (!plan(design, files, reason)) return host::kSaveFailed;
    } catch (const ReadError& e) {
        reason = e.what();
        return host::kSaveFailed;
    }
    // What each file held when read: a save of any other bytes is refused.
    std::vector<host::FileChange> changes;
    for (auto& [file, bytes] : files) {
        host::FileChange c{file, file, std::move(bytes), std::nullopt};
        if (file == p.projectFile) {
            c.read = loaded_->projectFileBytes;
        } else {
            for (const sch::SchematicFile& f : p.files)
                if (f.path == file) c.read = std::string(f.doc.bytes());
        }
        changes.push_back(std::move(c));
    }
    if (!host::saveFiles(host::journalPathFor(lockedFile(path, name)), changes, failStage, reason))
        return host::kSaveFailed;
    for (const host::FileChange& c : changes)
        written_.push_back(c.path);
    // What was written is what the next read finds: read it anew.
    loaded_.reset();
    return host::kOk;
}

// The design file with what the model lacks as extra keys: each pin's KiCad
// number and name, each connector's label text and uuid, a symbol not on
// the board. The merging writer keeps extra keys of the objects a design
// came from, so these are written as such objects, one per entry.
std::string KicadBackend::designFileText(const host::Design& design) const {
    if (!loaded_) return host::designText(design);
    const Loaded& l = *loaded_;
    host::Design copy = design;
    std::string extras;
    host::JsonWriter w(extras);
    w.beginArray();
    uint32_t next = 0;
    std::vector<std::pair<host::SourceRef*, uint32_t>> refs;
    for (size_t c = 0; c < copy.components.size() && c < l.view.components.size(); ++c) {
        host::Component& comp = copy.components[c];
        const ComponentOrigin& origin = l.view.components[c];
        w.beginObject();
        if (origin.label >= 0) {
            const sch::SheetInstance& instance = l.project.instances[static_cast<size_t>(origin.instance)];
            const sch::Label& label = l.project.fileOf(instance).labels[static_cast<size_t>(origin.label)];
            w.key("label");
            w.string(label.text);
            w.key("uuid");
            w.string(label.uuid);
        } else if (!origin.pins.empty()) {
            const PinRef& first = origin.pins.front();
            const Symbol& symbol =
                l.input.instances[static_cast<size_t>(first.instance)].symbols[static_cast<size_t>(first.symbol)];
            if (symbol.excludedFromBoard) {
                w.key("onBoard");
                w.boolean(false);
            }
        }
        w.endObject();
        refs.emplace_back(&comp.source, next++);
        for (size_t k = 0; k < comp.pins.size() && k < origin.pins.size(); ++k) {
            const PinRef& p = origin.pins[k];
            const Pin& pin = l.input.instances[static_cast<size_t>(p.instance)]
                                 .symbols[static_cast<size_t>(p.symbol)]
                                 .pins[static_cast<size_t>(p.pin)];
            w.beginObject();
            w.key("number");
            w.string(pin.number);
            w.key("name");
            w.string(pin.name);
            w.endObject();
            refs.emplace_back(&comp.pins[k].source, next++);
        }
    }
    w.endArray();
    w.finish();

    auto document = std::make_shared<host::JsonDocument>();
    host::JsonError error;
    if (!host::parseJson(std::make_shared<const std::string>(std::move(extras)), *document, error))
        return host::designText(design);
    for (auto& [source, k] : refs)
        *source = document->element(document->root, k);
    // The root is an array, not the design's object: the top level is
    // written fresh.
    copy.document = document;
    return host::designText(copy);
}

// Each connector by its label and page, the labels of reused files keyed by
// file and label, and the "@" texts a user wrote, on every page their file
// is shown on.
host::DesignNotes KicadBackend::describe(const host::Design& design) const {
    host::DesignNotes notes;
    notes.yDown = true;
    notes.shownName = [](std::string_view stored) { return shownName(stored); };
    if (!loaded_) return notes;
    const Loaded& l = *loaded_;
    const sch::Project& p = l.project;
    std::vector<int> uses(p.files.size(), 0);
    for (const sch::SheetInstance& in : p.instances)
        ++uses[static_cast<size_t>(in.file)];
    notes.connectors.resize(design.components.size());
    for (size_t c = 0; c < design.components.size() && c < l.view.components.size(); ++c) {
        const ComponentOrigin& origin = l.view.components[c];
        if (origin.label < 0) continue;
        const sch::SheetInstance& in = p.instances[static_cast<size_t>(origin.instance)];
        const sch::Label& label = p.fileOf(in).labels[static_cast<size_t>(origin.label)];
        host::ConnectorNote note;
        note.label = label.text;
        note.page = in.pageString + " " + in.humanPath;
        note.uuid = label.uuid;
        note.file = p.fileOf(in).path;
        if (label.node != kNone) note.offset = p.fileOf(in).doc.node(label.node).begin;
        if (uses[static_cast<size_t>(in.file)] > 1) {
            note.sharedKey = std::to_string(in.file) + ":" + std::to_string(origin.label);
            note.perPageValues = perInstanceFieldsPossible(p, in.file);
        }
        notes.connectors[c] = std::move(note);
    }
    std::vector<std::vector<int32_t>> itemOf(p.instances.size());  // [instance][text]: the item, or -1
    for (size_t k = 0; k < l.view.items.size(); ++k) {
        const ItemOrigin& o = l.view.items[k];
        if (o.text < 0 || o.instance < 0) continue;
        std::vector<int32_t>& texts = itemOf[static_cast<size_t>(o.instance)];
        if (texts.size() <= static_cast<size_t>(o.text)) texts.resize(static_cast<size_t>(o.text) + 1, -1);
        texts[static_cast<size_t>(o.text)] = static_cast<int32_t>(k);
    }
    // Each own text against what its page prints, one page read at a time.
    notes.layouts.resize(design.items.size());
    std::vector<std::vector<size_t>> itemsOn(p.instances.size());
    layout::GlobalPages globalPages;
    for (size_t k = 0; k < l.view.items.size() && k < design.items.size(); ++k)
        if (l.view.items[k].text >= 0 && l.view.items[k].instance >= 0)
            itemsOn[static_cast<size_t>(l.view.items[k].instance)].push_back(k);
    for (size_t i = 0; i < p.instances.size(); ++i) {
        if (itemsOn[i].empty()) continue;
        const layout::Page page = layout::pageOf(p, p.instances[i], globalPages);
        for (size_t k : itemsOn[i])
            notes.layouts[k] = layout::stateOf(page, p.fileOf(p.instances[i]), l.view.items[k].text);
    }
    for (size_t f = 0; f < p.files.size(); ++f) {
        const std::vector<int> foreign = classifyTexts(p.files[f], instancePathsOf(p, static_cast<int>(f))).foreign;
        if (foreign.empty()) continue;
        for (size_t i = 0; i < p.instances.size(); ++i) {
            const sch::SheetInstance& in = p.instances[i];
            if (in.file != static_cast<int>(f)) continue;
            for (int t : foreign) {
                const std::vector<int32_t>& texts = itemOf[i];
                const int32_t item = static_cast<size_t>(t) < texts.size() ? texts[static_cast<size_t>(t)] : -1;
                notes.foreignTexts.push_back(
                    {item, in.page, in.pageString + " " + in.humanPath, p.files[f].texts[static_cast<size_t>(t)].text});
            }
        }
    }
    return notes;
}

}  // namespace

std::unique_ptr<host::Backend> makeKicadBackend(const std::string& file) {
    return std::make_unique<KicadBackend>(file);
}

bool holdsKicadSchematic(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    char head[64];
    ssize_t n = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, head, sizeof head);
    ::close(fd);
    std::string_view text(head, n > 0 ? static_cast<size_t>(n) : 0);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    return text.substr(0, 10) == "(kicad_sch";
}

}  // namespace orlune::kicad

namespace orlune::host {

std::unique_ptr<Backend> chooseBackend(const std::string& file) {
    if (kicad::sch::isKicadProject(file) || kicad::holdsKicadSchematic(file)) return kicad::makeKicadBackend(file);
    return makeJsonBackend();
}

}  // namespace orlune::host
