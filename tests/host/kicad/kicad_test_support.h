// Shared by the KiCad tests: the demo folders, the demo projects as test
// parameters, KiCad's netlist of each exported once, and small projects
// written into a fresh temporary folder.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kicad10.h"

namespace orlune::kicad::test {

inline const std::filesystem::path kKicad6Demos = ORLUNE_KICAD6_DEMOS;
inline const std::filesystem::path kKicad9Demos = ORLUNE_KICAD9_DEMOS;

// A temporary folder holding the given files (name -> content), removed
// when it goes out of scope.
class TempProject {
public:
    explicit TempProject(const std::map<std::string, std::string>& files) {
        static int counter = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("orlune-kicad-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
        for (const auto& [name, content] : files)
            std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    ~TempProject() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempProject(const TempProject&) = delete;
    TempProject& operator=(const TempProject&) = delete;
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// A schematic of `version` with the given top-level items.
inline std::string schematic(const std::string& items, const std::string& version = "20250114",
                             const std::string& uuid = "00000000-0000-0000-0000-0000000000aa") {
    return "(kicad_sch (version " + version + ") (generator \"eeschema\") (uuid \"" + uuid + "\") (paper \"A4\")\n" +
           items + "\n)\n";
}

// A sheet symbol using `file`, KiCad 7+ form, on page `page` below the root.
inline std::string sheet(const std::string& uuid, const std::string& name, const std::string& file,
                         const std::string& page,
                         const std::string& rootUuid = "00000000-0000-0000-0000-0000000000aa") {
    return "(sheet (at 10 10) (size 20 20) (uuid \"" + uuid + "\")\n (property \"Sheetname\" \"" + name +
           "\" (at 0 0 0))\n (property \"Sheetfile\" \"" + file +
           "\" (at 0 0 0))\n (instances (project \"p\" (path \"/" + rootUuid + "\" (page \"" + page + "\")))))\n";
}

// The demo sets, one line per KiCad version: (version, folder).
inline std::vector<std::pair<std::string, std::filesystem::path>> demoRoots() {
    return {{"6", kKicad6Demos}, {"9", kKicad9Demos}, {"10", kKicad10Demos}};
}

// One demo project of more than one page: a test parameter.
struct Demo {
    std::string version;            // of its set: "6", "9", "10"
    std::filesystem::path root;     // the set's folder
    std::filesystem::path project;  // its .kicad_pro; empty for the stand-in below
    std::string name;               // the test's name: "v9_video"
};

inline void PrintTo(const Demo& d, std::ostream* os) {
    *os << d.name;
}

// For INSTANTIATE_TEST_SUITE_P: each case is named after its demo.
struct DemoName {
    template <class Info>
    std::string operator()(const Info& info) const {
        return info.param.name;
    }
};

inline std::string fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every demo project with its root schematic (with `multiPage`, only those
// whose root places a sheet symbol), set by set, in path order. Only the
// root files are read: every test process lists the demos, under the
// sanitizers too. When none is found, one stand-in without a project, so
// that the tests over the demos skip, not vanish.
inline std::vector<Demo> demoProjects(bool multiPage) {
    namespace fs = std::filesystem;
    std::vector<Demo> out;
    for (const auto& [version, root] : demoRoots()) {
        std::error_code ec;
        std::vector<fs::path> found;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path sch = fs::path(it->path()).replace_extension(".kicad_sch");
            if (it->path().extension() != ".kicad_pro" || !fs::exists(sch, ec)) continue;
            const std::string bytes = multiPage ? fileBytes(sch) : std::string();
            bool sheet = !multiPage;
            for (size_t at = bytes.find("(sheet"); !sheet && at != std::string::npos; at = bytes.find("(sheet", at + 1))
                sheet = at + 6 < bytes.size() && std::string_view(" \t\r\n").find(bytes[at + 6]) != std::string::npos;
            if (sheet) found.push_back(it->path());
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& p : found) {
            std::string name = "v" + version + "_";
            for (const char c : p.stem().string())
                name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
            out.push_back({version, root, p, name});
        }
    }
    if (out.empty()) out.push_back({"", {}, {}, "none"});
    return out;
}

inline std::vector<Demo> multiPageDemos() {
    return demoProjects(true);
}

// How a project's folder reads in a netlist kept for any copy of it.
inline const std::string kProjectDir = "${PROJECT_DIR}";

inline bool haveKicadCli() {
    static const bool have = std::system("command -v kicad-cli >/dev/null 2>&1") == 0;
    return have;
}

// KiCad 9's kicad-cli, on the path.
inline const std::string kKicadCli9 = "kicad-cli";

// The kicad-cli whose netlist is the reference for `demo`: KiCad 10's, the
// newest. KiCad 10 cannot load KiCad 6's kit-dev-coldfire at all ("Failed
// to load schematic"): its root names the sheet fields in French ("Nom
// feuille", "Fichier de feuille"), which KiCad 6 and 9 find by field id and
// KiCad 10 by name only. KiCad 9, which still loads it, is the reference
// there.
inline std::string demoCli(const Demo& demo) {
    if (demo.version == "6" && demo.project.stem() == "kit-dev-coldfire-xilinx_5213")
        return haveKicadCli() ? kKicadCli9 : "";
    return kicadCli10();
}

// The first line `CLI version` prints ("10.0.6"); empty when it fails.
inline std::string cliVersion(const std::string& cli) {
    static std::map<std::string, std::string> known;
    const auto found = known.find(cli);
    if (found != known.end()) return found->second;
    std::string version;
    if (std::FILE* out = ::popen(("'" + cli + "' version 2>/dev/null").c_str(), "r")) {
        char line[64] = {};
        if (std::fgets(line, sizeof line, out)) version = line;
        if (::pclose(out) != 0) version.clear();
    }
    while (!version.empty() && std::isspace(static_cast<unsigned char>(version.back())))
        version.pop_back();
    return known[cli] = version;
}

// `CLI ARGS` quietly on root schematic `root`: its exit status. KiCad 10's
// kicad-cli leaves the project's local settings (NAME.kicad_prl) beside a
// project that had none; that file goes again, as the tests compare
// project folders byte for byte.
inline int runKicadCli(const std::string& cli, const std::string& args, const std::filesystem::path& root) {
    const std::filesystem::path prl = std::filesystem::path(root).replace_extension(".kicad_prl");
    std::error_code ec;
    const bool had = std::filesystem::exists(prl, ec);
    const int status = std::system(("'" + cli + "' " + args + " >/dev/null 2>&1").c_str());
    if (!had) std::filesystem::remove(prl, ec);
    return status;
}

// FNV-1a, 64 bits, as hex: a key for the tests' cache folder.
inline std::string cacheKey(std::string_view s) {
    uint64_t key = 1469598103934665603u;
    for (const char c : s)
        key = (key ^ static_cast<unsigned char>(c)) * 1099511628211u;
    std::ostringstream hex;
    hex << std::hex << key;
    return hex.str();
}

// What kicad-cli `cli` makes of the project folder holding `root` (`what`,
// a name of the export), kept in the tests' cache folder by the cli's
// version and every file's name and bytes: the sanitizer build's cases
// update the demos into the same bytes as the normal build's, and KiCad's
// exports of a large demo take tens of seconds. `make` exports; an empty
// result (kicad-cli failed) is not kept.
template <class Make>
std::string cachedExport(const std::filesystem::path& root, const std::string& cli, const std::string& what,
                         Make make) {
    namespace fs = std::filesystem;
    const std::string version = cli.empty() ? std::string() : cliVersion(cli);
    if (version.empty()) return {};
    const fs::path dir = root.parent_path();
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::string all = what + " " + cli + " " + version + " " + root.filename().string() + "\n";
    for (const fs::path& f : files)
        all += fs::relative(f, dir).string() + " " + std::to_string(fs::file_size(f)) + "\n" + fileBytes(f);
    const fs::path cached = fs::path(ORLUNE_TEST_CACHE) / (what + "-" + cacheKey(all));
    if (fs::exists(cached)) return fileBytes(cached);
    const std::string made = make();
    if (made.empty()) return made;
    // Another test process may keep the same export at the same time.
    fs::create_directories(cached.parent_path());
    const fs::path part = cached.string() + "." + std::to_string(::getpid());
    std::ofstream(part, std::ios::binary) << made;
    fs::rename(part, cached);
    return made;
}

// The netlist `cli` (KiCad 10's by default) exports for root schematic
// `root` (kicad-cli writes it beside the root), its folder written as
// kProjectDir; empty when kicad-cli fails.
inline std::string exportNetlist(const std::filesystem::path& root, const std::string& cli = kicadCli10()) {
    if (cli.empty()) return {};
    return cachedExport(root, cli, "netlist", [&] {
        const std::filesystem::path out = root.parent_path() / "orlune-test.net";
        if (runKicadCli(cli, "sch export netlist -o '" + out.string() + "' '" + root.string() + "'", root) != 0)
            return std::string();
        std::string s = fileBytes(out);
        std::filesystem::remove(out);
        const std::string dir = root.parent_path().string();
        for (size_t at = s.find(dir); at != std::string::npos; at = s.find(dir, at + kProjectDir.size()))
            s.replace(at, dir.size(), kProjectDir);
        return s;
    });
}

// The texts kicad-cli `cli` draws on each page of the project of root
// schematic `root` (`sch export svg`): for each page's file name, its
// `<desc>TEXT</desc>` elements one after the other, where KiCad names
// every text it draws; empty when kicad-cli fails.
inline std::map<std::string, std::string> drawnTexts(const std::filesystem::path& root, const std::string& cli) {
    namespace fs = std::filesystem;
    // Kept as NAME LF SIZE LF BYTES for each page: a text may hold a line end.
    const std::string kept = cachedExport(root, cli, "svg-texts", [&] {
        const fs::path svg = root.parent_path() / "orlune-test-svg";
        std::string out;
        if (runKicadCli(cli, "sch export svg -o '" + svg.string() + "' '" + root.string() + "'", root) == 0) {
            std::vector<fs::path> pages;
            for (const auto& e : fs::directory_iterator(svg))
                pages.push_back(e.path());
            std::sort(pages.begin(), pages.end());
            for (const fs::path& page : pages) {
                const std::string drawn = fileBytes(page);
                std::string descs;
                for (size_t at = drawn.find("<desc>"); at != std::string::npos; at = drawn.find("<desc>", at + 1)) {
                    const size_t end = drawn.find("</desc>", at);
                    if (end == std::string::npos) break;
                    descs.append(drawn, at, end + 7 - at);
                }
                out += page.filename().string() + "\n" + std::to_string(descs.size()) + "\n" + descs;
            }
            // A project whose pages draw nothing still exported.
            if (out.empty()) out = "\n";
        }
        std::error_code ec;
        fs::remove_all(svg, ec);
        return out;
    });
    std::map<std::string, std::string> pages;
    for (size_t at = 0; at < kept.size();) {
        const size_t nameEnd = kept.find('\n', at);
        if (nameEnd == std::string::npos || nameEnd == at) break;
        const size_t sizeEnd = kept.find('\n', nameEnd + 1);
        const size_t size = std::stoul(kept.substr(nameEnd + 1, sizeEnd - nameEnd - 1));
        pages[kept.substr(at, nameEnd - at)] = kept.substr(sizeEnd + 1, size);
        at = sizeEnd + 1 + size;
    }
    return pages;
}

// The reference netlist of the demo as installed (by demoCli), exported
// once per build into the tests' cache folder: every case over the demos
// needs it, and an export of a large demo takes seconds. Keyed on the
// demo, the kicad-cli's version (KiCad 9's and 10's netlists differ) and
// the size and time of each of its files, so that changed demos are
// exported again. Returns the cached file, or an empty path when
// kicad-cli fails.
inline std::filesystem::path demoNetlist(const Demo& demo, const std::string& cli) {
    namespace fs = std::filesystem;
    const std::string version = cli.empty() ? std::string() : cliVersion(cli);
    if (version.empty()) return {};
    const fs::path dir = demo.project.parent_path();
    std::string files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec))
            files += it->path().string() + " " + std::to_string(it->file_size(ec)) + " " +
                     std::to_string(it->last_write_time(ec).time_since_epoch().count()) + "\n";
    const fs::path cached =
        fs::path(ORLUNE_TEST_CACHE) / (demo.name + "-kicad" + version + "-" + cacheKey(files) + ".net");
    if (fs::exists(cached)) return cached;
    // kicad-cli may write beside the project: it gets a copy.
    const fs::path work = fs::temp_directory_path() / ("orlune-export-" + std::to_string(::getpid()));
    fs::remove_all(work, ec);
    fs::copy(dir, work, fs::copy_options::recursive);
    const std::string net =
        exportNetlist(work / fs::path(demo.project.filename()).replace_extension(".kicad_sch"), cli);
    fs::remove_all(work, ec);
    if (net.empty()) return {};
    // Another test process may export the same demo at the same time.
    fs::create_directories(cached.parent_path());
    const fs::path part = cached.string() + "." + std::to_string(::getpid());
    std::ofstream(part, std::ios::binary) << net;
    fs::rename(part, cached);
    return cached;
}

inline std::filesystem::path demoNetlist(const Demo& demo) {
    return demoNetlist(demo, demoCli(demo));
}

#ifdef ORLUNE_BINARY
// `orlune ARGS`: its exit status; `output` gets its standard output, and
// its standard error too unless `errors` is false.
inline int orlune(const std::string& args, std::string& output, bool errors = true) {
    // Appended piece by piece: GCC 12 warns of a false overflow in a chain of + on a temporary.
    std::string command = ORLUNE_BINARY;
    command += " " + args + (errors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

// Every regular file under `dir` with its bytes.
inline std::map<std::filesystem::path, std::string> filesOf(const std::filesystem::path& dir) {
    std::map<std::filesystem::path, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[e.path()] = fileBytes(e.path());
    return out;
}

}  // namespace orlune::kicad::test
