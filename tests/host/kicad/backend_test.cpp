// The host's seam on KiCad projects: the backend chosen by the named file's
// name and content, one lock per project, and nothing written where the
// project is refused or a command would change it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "host/host.h"
#include "host/host_impl.h"
#include "host/save.h"
#include "kicad_test_support.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

const std::string kRoot = test::schematic("(sheet_instances (path \"/\" (page \"1\")))");
const char* const kDesign =
    R"({"format": "orlune-design", "version": 1, "units": 2, "workspace": [100, 100], "sheets": [{"id": 1, "name": "A"}]})";

// Every file of the folder with its bytes: what a command left there.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

using test::orlune;

TEST(KicadBackend, ChosenByTheNamedFilesNameAndContent) {
    test::TempProject dir({{"p.kicad_pro", "{}"},
                           {"p.kicad_sch", kRoot},
                           {"d.json", kDesign},
                           {"renamed.sch", kRoot},
                           {"json.kicad_sch", kDesign}});
    const struct {
        const char* file;
        bool kicad;
        bool opens;
        const char* reason;
    } cases[] = {
        {"d.json", false, true, ""},
        {"p.kicad_pro", true, true, ""},
        {"p.kicad_sch", true, true, ""},
        // A KiCad schematic by its content, a design file by its name: not
        // read as JSON, refused with the name KiCad projects open by.
        {"renamed.sch", true, false, "open by their .kicad_pro or root .kicad_sch"},
        {"json.kicad_sch", true, false, "json.kicad_sch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        host::Host host;
        host.setDesignFile(dir.path(c.file));
        EXPECT_TRUE(host.cannotWrite().empty());
        EXPECT_EQ(c.kicad, !host.cannotHighlight().empty());
        const int32_t status = host.impl().open();
        EXPECT_EQ(c.opens, status == host::kOk) << host.lastOpenError();
        EXPECT_NE(host.lastOpenError().find(c.reason), std::string::npos) << host.lastOpenError();
        if (status == host::kOk) host.impl().close();
    }
}

TEST(KicadBackend, OneLockPerProject) {
    test::TempProject dir({{"p.kicad_pro", "{}"}, {"p.kicad_sch", kRoot}});
    host::Host host;
    host.setDesignFile(dir.path("p.kicad_pro"));
    ASSERT_EQ(host::kOk, host.impl().open()) << host.lastOpenError();
    // One lock for the project, whichever of its files is named.
    host::Host second;
    second.setDesignFile(dir.path("p.kicad_sch"));
    second.setLockWait(0);
    EXPECT_EQ(host::kDesignBusy, second.impl().open());
    host.impl().close();
}

// A text for a connector on the root page and one on a sub-sheet, as the
// pass puts them: a sub-sheet file that cannot be written, or a file that
// changed since the project was read, leaves every file as it was.
TEST(KicadBackend, EveryFileIsWrittenOrNone) {
    const fs::path demo = test::kKicad9Demos / "flat_hierarchy";
    if (!fs::is_directory(demo)) GTEST_SKIP() << "no KiCad demos";
    test::TempProject tmp({});
    const fs::path folder = tmp.path("p");
    fs::copy(demo, folder, fs::copy_options::recursive);
    const std::string pro = (folder / "flat_hierarchy.kicad_pro").string();
    const std::string sub = (folder / "pic_programmer.kicad_sch").string();
    const auto before = snapshot(folder);
    static std::string failing;
    auto* const realAccess = host::saveCalls().access;
    for (const bool changedMeanwhile : {false, true}) {
        SCOPED_TRACE(changedMeanwhile ? "changed meanwhile" : "read-only sub-sheet");
        host::Host host;
        host.setDesignFile(pro);
        ASSERT_EQ(host::kOk, host.impl().open()) << host.lastOpenError();
        host::Design& d = *host.impl().design;
        std::set<int32_t> pages;
        for (size_t k = 0; k < d.components.size(); ++k) {
            const host::Component& c = d.components[k];
            if (c.kind != 2 || !pages.insert(c.pins.front().sheet).second) continue;
            host::Item text;
            text.owner = static_cast<int32_t>(k);  // as the pass records it
            text.sheet = c.pins.front().sheet;
            text.text = "@9";
            text.x = c.pins.front().x + (c.symbol.flipped ? 100000 : -100000);
            text.y = c.pins.front().y;
            text.justification = c.symbol.flipped ? 4 : 6;
            d.items.push_back(text);
        }
        ASSERT_GE(pages.size(), 2u);
        d.changed = true;
        if (changedMeanwhile) {
            std::ofstream(sub, std::ios::app) << "\n";
        } else {
            failing = sub;
            host::saveCalls().access = [](const char* path, int mode) {
                return path == failing ? (errno = EACCES, -1) : ::access(path, mode);
            };
        }
        auto atStart = snapshot(folder);
        std::erase_if(atStart, [](const auto& e) { return e.first.ends_with(".lock"); });  // the host's own
        EXPECT_EQ(host::kSaveFailed, host.impl().close());
        host::saveCalls().access = realAccess;
        EXPECT_NE(host.lastSaveError().find(changedMeanwhile ? "changed while ORLUNE ran" : "pic_programmer.kicad_sch"),
                  std::string::npos)
            << host.lastSaveError();
        EXPECT_TRUE(atStart == snapshot(folder)) << "a file was written";
        if (changedMeanwhile) {
            std::ofstream(sub, std::ios::trunc) << before.at("pic_programmer.kicad_sch");
        }
    }
    EXPECT_TRUE(before == snapshot(folder));
}

TEST(KicadBackend, RefusedProjectsAndWritingCommandsWriteNothing) {
    test::TempProject dir({{"p.kicad_pro", "{}"},
                           {"p.kicad_sch", kRoot},
                           {"future.kicad_sch", test::schematic("", "20990101")},
                           {"taken.json", kDesign},
                           {"~p.kicad_sch.lck", R"({"username": "ann", "hostname": "bench"})"}});
    const fs::path folder = fs::path(dir.path("p.kicad_pro")).parent_path();
    const std::string p = "'" + dir.path("p.kicad_pro") + "'";
    const std::string future = "'" + dir.path("future.kicad_sch") + "'";
    const std::string out = "'" + dir.path("out.json") + "'";
    const struct {
        std::string args;
        int status;
        const char* reason;
    } cases[] = {
        {"check " + future, 3, "future.kicad_sch"},
        {"status " + future, 3, "future.kicad_sch"},
        {"report " + future, 3, "future.kicad_sch"},
        {"convert " + future + " -o " + out, 3, "future.kicad_sch"},
        {"update " + p, 3, "open in KiCad by ann on bench: close the schematic in KiCad"},
        {"delete " + p, 3, "open in KiCad by ann on bench: close the schematic in KiCad"},
        {"settings " + p + " --left 1", 3, "open in KiCad by ann on bench: close the schematic in KiCad"},
        {"utility add-attribute " + p, 3, "open in KiCad by ann on bench: close the schematic in KiCad"},
        {"gui --screenshot /dev/null " + p, 3, "open in KiCad by ann on bench: close the schematic in KiCad"},
        {"select " + p + " R1", 2, "no highlight and no selection"},
        {"unhighlight " + p, 2, "no highlight and no selection"},
        {"utility invert-selected " + p, 2, "no highlight and no selection"},
        {"convert " + p + " -o '" + dir.path("taken.json") + "'", 2, "give --force"},
        {"convert " + p + " -o '" + dir.path("p.kicad_sch") + "' --force", 2, "does not write over"},
        // Read-only on a project, and saying KiCad has it open: status runs
        // start-up, which would store the settings attribute in a design file.
        {"status " + p, 0, "open in KiCad by ann on bench"},
        {"settings " + p, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto before = snapshot(folder);
        std::string output;
        EXPECT_EQ(c.status, orlune(c.args, output)) << output;
        EXPECT_NE(output.find(c.reason), std::string::npos) << output;
        EXPECT_EQ(before, snapshot(folder));
    }
}

}  // namespace
}  // namespace orlune::kicad
