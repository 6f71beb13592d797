// Saving a KiCad project through the command line as a user meets it: the
// copy of a many-sheet demo killed after each rename of its save, a rename
// that fails, another program's save in between, KiCad's lock, and the
// project's own files that no output may replace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/cli.h"
#include "app/cli_support.h"
#include "app/design_run.h"
#include "host/host_impl.h"
#include "host/save.h"

namespace orlune::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using Files = std::map<std::string, std::string>;

// Every file below `dir` by its relative name.
Files filesOf(const fs::path& dir) {
    Files out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = readFile(e.path());
    return out;
}

// The names of the files that differ between two snapshots.
std::vector<std::string> changed(const Files& a, const Files& b) {
    std::vector<std::string> out;
    for (const auto& [name, bytes] : b)
        if (!a.count(name) || a.at(name) != bytes) out.push_back(name);
    for (const auto& [name, bytes] : a)
        if (!b.count(name)) out.push_back(name);
    return out;
}

// renameat2 on a file system without its flags.
int unsupportedExchange(const char*, const char*, bool) {
    errno = EINVAL;
    return -1;
}

const fs::path kVideo = fs::path(ORLUNE_KICAD9_DEMOS) / "video";

// A copy of KiCad's video demo: a project of eight sheet files, of which
// an update changes several.
class KicadSave : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kVideo / "video.kicad_pro")) GTEST_SKIP() << "no KiCad demos in " << kVideo;
        fs::copy(kVideo, project(), fs::copy_options::recursive);
        before = filesOf(project());
    }
    void TearDown() override {
        app::prepareHostForTests = nullptr;
        host::saveCalls() = system;
    }
    fs::path project() const { return dir.file("video"); }
    std::string pro() const { return (project() / "video.kicad_pro").string(); }
    // What an update leaves, in a copy of its own.
    Files updated() {
        const fs::path other = dir.file("updated");
        fs::copy(kVideo, other, fs::copy_options::recursive);
        const CliResult r = runCli({"update", (other / "video.kicad_pro").string()});
        EXPECT_EQ(0, r.status) << r.err;
        return filesOf(other);
    }

    const host::SaveCalls system = host::saveCalls();
    TempDir dir;
    Files before;
};

// A child process runs `orlune update` and kills itself (SIGKILL) right
// after its Nth rename, for every rename the save makes: the next command
// finds the project wholly old (or, once the journal says every file is
// done, wholly new) and no temporary file, no journal beside it. `check`
// is the command after the kill: the lightest reader settles it too.
TEST_F(KicadSave, AKillAfterAnyRenameLeavesTheProjectWhollyOldOrWhollyNew) {
    static int killAfter;
    static int renames;
    static bool noExchange;
    static host::SaveCalls real;
    real = host::saveCalls();
    const auto counting = [] {
        host::SaveCalls calls = real;
        calls.rename = [](const char* a, const char* b) {
            const int r = real.rename(a, b);
            if (++renames == killAfter) ::raise(SIGKILL);
            return r;
        };
        calls.exchange = [](const char* a, const char* b, bool exists) {
            if (noExchange) return unsupportedExchange(a, b, exists);
            const int r = real.exchange(a, b, exists);
            if (++renames == killAfter) ::raise(SIGKILL);
            return r;
        };
        return calls;
    };
    const Files after = updated();
    const size_t sheets = changed(before, after).size();
    ASSERT_GE(sheets, 4u);
    const int total = static_cast<int>(sheets) + 3;  // the journal thrice

    // With the exchange, and with its fallback where the file system has none.
    for (const bool fallback : {false, true}) {
        noExchange = fallback;
        for (killAfter = 1; killAfter <= total; ++killAfter) {
            SCOPED_TRACE(std::string(fallback ? "without exchange: " : "") + "killed after rename " +
                         std::to_string(killAfter) + " of " + std::to_string(total));
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                renames = 0;
                host::saveCalls() = counting();
                std::string path = pro();
                char command[] = "update";
                char* argv[] = {const_cast<char*>("orlune"), command, path.data(), nullptr};
                std::ostringstream out;
                std::ostringstream err;
                app::runCommandLine(3, argv, out, err);
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(child, ::waitpid(child, &status, 0));
            ASSERT_TRUE(WIFSIGNALED(status)) << "the save made fewer renames";
            // Without the exchange, the journal under an earlier name (the project's or a sibling's).
            if (fallback && fs::exists(project() / ".kicad-projects.orlune-journal"))
                fs::rename(
                    project() / ".kicad-projects.orlune-journal",
                    project() / (killAfter % 2 ? ".video.kicad_pro.orlune-journal" : ".b.kicad_pro.orlune-journal"));

            const CliResult check = runCli({"check", pro()});
            EXPECT_EQ(0, check.status) << check.err;
            const Files now = filesOf(project());
            const Files& expected = killAfter == total ? after : before;
            EXPECT_TRUE(expected == now) << ::testing::PrintToString(changed(expected, now));
            fs::remove_all(project());
            fs::copy(kVideo, project(), fs::copy_options::recursive);
        }
    }
    // Where the journal's lock cannot be taken (a link at its place), under
    // either name, the half-saved project is refused rather than read.
    for (const std::string base : {"video.kicad_pro", "kicad-projects"}) {
        writeFile(project() / ("." + base + ".orlune-journal"), "orlune-journal 1\nexchange\n");
        fs::create_symlink("/nonexistent", project() / (base + ".lock"));
        const CliResult refused = runCli({"check", pro()});
        EXPECT_EQ(3, refused.status) << base;
        EXPECT_THAT(refused.out, HasSubstr("left the design's files half written"));
    }
}

// A sheet file that cannot be replaced (a bind-mounted file: EBUSY) at any
// place of the save, or a failure right after a file was replaced, with
// the exchange and with its fallback: exit 3, every file as it was. Without
// a failure the fallback saves what the exchange saves, leaving nothing.
TEST_F(KicadSave, ARenameThatFailsAnywhereLeavesEveryFileAsItWas) {
    const Files after = updated();
    const size_t sheets = changed(before, after).size();
    struct Case {
        bool fallback;
        host::SaveStage stage;
        const char* reason;
    } cases[] = {{false, host::SaveStage::Rename, "Device or resource busy; nothing written"},
                 {true, host::SaveStage::Renamed, "Input/output error; nothing written"}};
    for (const Case& c : cases) {
        if (c.fallback) host::saveCalls().exchange = unsupportedExchange;
        for (size_t n = 0; n < sheets; ++n) {
            SCOPED_TRACE(std::string(c.fallback ? "without exchange, " : "") + "rename " + std::to_string(n));
            app::prepareHostForTests = [n, stage = c.stage](host::Host& h) {
                h.failSave = [n, stage, seen = size_t{0}](host::SaveStage s) mutable {
                    return s == stage && seen++ == n;
                };
            };
            const CliResult r = runCli({"update", pro()});
            EXPECT_EQ(3, r.status);
            EXPECT_THAT(r.err, HasSubstr("could not be saved"));
            EXPECT_THAT(r.err, HasSubstr(c.reason));
            EXPECT_TRUE(before == filesOf(project())) << ::testing::PrintToString(changed(before, filesOf(project())));
        }
    }
    app::prepareHostForTests = nullptr;
    const CliResult r = runCli({"update", pro()});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(after == filesOf(project())) << ::testing::PrintToString(changed(after, filesOf(project())));
}

// Another program (an editor) saves a sheet file between ORLUNE's check and
// its rename: the other program's save is kept, the command names the file
// and exits 3, every other file as it was.
TEST_F(KicadSave, AnotherProgramsSaveIsNeverReplaced) {
    static std::string sheet;
    static host::SaveCalls real;
    real = host::saveCalls();
    sheet = fs::canonical(project() / "modul.kicad_sch").string();
    ASSERT_THAT(changed(before, updated()), ::testing::Contains("modul.kicad_sch"));
    host::saveCalls().exchange = [](const char* a, const char* b, bool exists) {
        if (b == sheet) {
            writeFile(sheet + ".new", readFile(sheet) + "\n");
            fs::rename(sheet + ".new", sheet);
        }
        return real.exchange(a, b, exists);
    };
    const std::string theirs = before.at("modul.kicad_sch") + "\n";
    const CliResult r = runCli({"update", pro()});
    EXPECT_EQ(3, r.status);
    EXPECT_THAT(r.err, HasSubstr(sheet + ": another program saved it"));
    Files expected = before;
    expected["modul.kicad_sch"] = theirs;
    EXPECT_TRUE(expected == filesOf(project())) << ::testing::PrintToString(changed(expected, filesOf(project())));
}

// Two `orlune update` processes at once on the demo and a board variant
// beside it (its own project and root, the same sheets), each slowed before
// its first rename: the second waits for the folder's lock, then saves onto
// the first's files. A window holding one keeps the other out, named.
TEST_F(KicadSave, TwoUpdatesAtOnceOnProjectsSharingSheetsBothSucceed) {
    fs::copy_file(pro(), project() / "variant.kicad_pro");
    fs::copy_file(project() / "video.kicad_sch", project() / "variant.kicad_sch");
    static host::SaveCalls real;
    real = host::saveCalls();
    const std::vector<std::string> names = {pro(), (project() / "variant.kicad_pro").string()};
    std::vector<pid_t> children;
    for (std::string path : names) {
        if ((children.emplace_back(::fork())) == 0) {
            host::saveCalls().rename = [](const char* a, const char* b) {
                static bool slowed = false;
                if (!std::exchange(slowed, true)) ::usleep(300000);
                return real.rename(a, b);
            };
            char* argv[] = {const_cast<char*>("orlune"), const_cast<char*>("update"), path.data(), nullptr};
            std::ostringstream out;
            ::_exit(app::runCommandLine(3, argv, out, out));
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    for (const std::string& path : names)
        EXPECT_EQ(0, runCli({"verify", path}).status) << path;
    host::Host window;
    window.setDesignFile(pro());
    window.holdDesign(true);
    ASSERT_TRUE(window.impl().open() == host::kOk && window.impl().close() == host::kOk) << window.lastOpenError();
    ::setenv("ORLUNE_LOCK_WAIT_MS", "0", 1);
    const CliResult busy = runCli({"update", names[1]});
    ::unsetenv("ORLUNE_LOCK_WAIT_MS");
    EXPECT_EQ(3, busy.status);
    // This process's name as the kernel keeps it (not the program's name under valgrind).
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    EXPECT_THAT(busy.err, HasSubstr("busy: process " + std::to_string(::getpid()) + " (" + comm + ") has " +
                                    fs::canonical(pro()).string() + " open, and with it every KiCad project of"));
}

// KiCad's lock is looked for beside the root the project file names, and
// whatever is not a regular file at its place refuses the write at once.
TEST_F(KicadSave, KicadsLockBesideTheNamedRootRefusesEveryWrite) {
    fs::rename(project() / "video.kicad_sch", project() / "main.kicad_sch");
    std::string text = readFile(pro());
    const std::string key = "\"schematic\": {";
    ASSERT_NE(std::string::npos, text.find(key));
    text.insert(text.find(key) + key.size(),
                "\n    \"top_level_sheets\": [{\"filename\": \"main.kicad_sch\", "
                "\"name\": \"video\"}],");
    writeFile(pro(), text);
    const Files named = filesOf(project());
    struct Case {
        const char* what;
        bool fifo;
        const char* reason;
    } cases[] = {{"KiCad's lock", false, "main.kicad_sch is open in KiCad by alice on bench"},
                 {"a FIFO", true, "is not a regular file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path lock = project() / "~main.kicad_sch.lck";
        if (c.fifo) {
            ASSERT_EQ(0, ::mkfifo(lock.c_str(), 0644));
        } else {
            writeFile(lock, R"({"hostname":"bench","username":"alice"})");
        }
        for (const char* command : {"update", "delete"}) {
            const CliResult r = runCli({command, pro()});
            EXPECT_EQ(3, r.status) << command;
            EXPECT_THAT(r.err, HasSubstr(c.reason)) << command;
        }
        EXPECT_EQ(0, runCli({"status", pro()}).status);
        fs::remove(lock);
        EXPECT_TRUE(named == filesOf(project())) << ::testing::PrintToString(changed(named, filesOf(project())));
    }
}

TEST_F(KicadSave, ConvertNeverWritesOverAFileOfTheProject) {
    for (const char* name : {"video.kicad_pcb", "video.kicad_pro", "rams.kicad_sch", "sym-lib-table", "fp-lib-table",
                             "libs/video_schlib.kicad_sym"}) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(std::string(name) + (force ? " --force" : ""));
            std::vector<std::string> args = {"convert", pro(), "-o", (project() / name).string()};
            if (force) args.push_back("--force");
            const CliResult r = runCli(args);
            EXPECT_EQ(2, r.status);
            EXPECT_THAT(r.err, HasSubstr("does not write over a design or a project's file"));
        }
    }
    EXPECT_TRUE(before == filesOf(project())) << ::testing::PrintToString(changed(before, filesOf(project())));
}

// A project file with a byte order mark, or with no variables (null), takes
// the settings' variable; every other byte stays.
TEST_F(KicadSave, SettingsAreStoredInAProjectFileWithAMarkOrWithoutVariables) {
    const std::string original = readFile(pro());
    const std::string empty = "\"text_variables\": {}";
    ASSERT_NE(std::string::npos, original.find(empty));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"byte order mark", "\xEF\xBB\xBF" + original},
        {"null", std::string(original).replace(original.find(empty), empty.size(), "\"text_variables\": null")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(pro(), c.bytes);
        const CliResult r = runCli({"settings", pro(), "--left", "3"});
        ASSERT_EQ(0, r.status) << r.err;
        const std::string now = readFile(pro());
        const size_t at = now.find("\"ORLUNE\": \"");
        ASSERT_NE(std::string::npos, at) << now.substr(now.size() - 200);
        const size_t end = now.find('"', at + 11);
        const size_t begin = now.rfind("\"text_variables\": ", at);
        ASSERT_NE(std::string::npos, begin);
        // Around the variables' object every byte is the original's.
        EXPECT_EQ(c.bytes.substr(0, begin), now.substr(0, begin));
        EXPECT_EQ(c.bytes.substr(c.bytes.size() - 2), now.substr(now.size() - 2));
        EXPECT_LT(end, now.size());
    }
}

// A bus vector of far more members than any design has is refused at
// once, naming the label; so is a project whose bus texts together name
// too many. `check` prints its verdict on standard output.
TEST_F(KicadSave, AHugeBusIsRefusedNamingItsLabel) {
    const fs::path sheet = project() / "rams.kicad_sch";
    const std::string bytes = readFile(sheet);
    const size_t at = bytes.rfind(')');
    for (const char* label : {"X[99999999..0]", "X[0..1000000]"}) {
        SCOPED_TRACE(label);
        writeFile(sheet, bytes.substr(0, at) + "(label \"" + label +
                             "\" (at 10 10 0) (effects (font (size 1.27 1.27))) (uuid "
                             "\"99999999-0000-0000-0000-000000000001\"))\n" +
                             bytes.substr(at));
        const CliResult r = runCli({"check", pro()});
        EXPECT_EQ(3, r.status);
        EXPECT_THAT(r.out, HasSubstr(std::string("invalid: ") + sheet.string() + ": the label \"" + label +
                                     "\" names a bus vector"));
    }
}

}  // namespace
}  // namespace orlune::test
