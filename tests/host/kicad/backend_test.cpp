// The host's seam on KiCad projects: the backend chosen by the named file's
// name and content, one lock per project, and nothing written where the
// project is refused or a command would change it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host/host.h"
#include "host/host_impl.h"
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
        std::ifstream in(e.path(), std::ios::binary);
        out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

// The exit status of `orlune ARGS`; `output` gets both its outputs.
int orlune(const std::string& args, std::string& output) {
    FILE* pipe = ::popen((std::string(ORLUNE_BINARY) + " " + args + " 2>&1").c_str(), "r");
    char buffer[512];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

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
        EXPECT_EQ(c.kicad, !host.cannotWrite().empty());
        EXPECT_EQ(c.kicad, !host.cannotHighlight().empty());
        const int32_t status = host.impl().open();
        EXPECT_EQ(c.opens, status == host::kOk) << host.lastOpenError();
        EXPECT_NE(host.lastOpenError().find(c.reason), std::string::npos) << host.lastOpenError();
        if (status == host::kOk) host.impl().close();
    }
}

TEST(KicadBackend, OneLockAndAChangedDesignIsNotSaved) {
    test::TempProject dir({{"p.kicad_pro", "{}"}, {"p.kicad_sch", kRoot}});
    const fs::path folder = fs::path(dir.path("p.kicad_pro")).parent_path();
    const auto before = snapshot(folder);
    host::Host host;
    host.setDesignFile(dir.path("p.kicad_pro"));
    ASSERT_EQ(host::kOk, host.impl().open()) << host.lastOpenError();
    // One lock for the project, whichever of its files is named.
    host::Host second;
    second.setDesignFile(dir.path("p.kicad_sch"));
    second.setLockWait(0);
    EXPECT_EQ(host::kDesignBusy, second.impl().open());
    host.impl().design->changed = true;
    EXPECT_EQ(host::kSaveFailed, host.impl().close());
    EXPECT_NE(host.lastSaveError().find("writing KiCad projects is not supported yet"), std::string::npos);
    EXPECT_EQ(before, snapshot(folder));
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
        {"update " + p, 3, "writing KiCad projects is not supported yet"},
        {"delete " + p, 3, "writing KiCad projects is not supported yet"},
        {"settings " + p + " --left 1", 3, "writing KiCad projects is not supported yet"},
        {"utility add-attribute " + p, 3, "writing KiCad projects is not supported yet"},
        {"gui " + p, 3, "writing KiCad projects is not supported yet"},
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
