// The built program itself: its exit status reaches the shell.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "app/cli_support.h"

namespace orlune::test {
namespace {

int runBinary(const std::string& arguments, const std::filesystem::path& output) {
    // Appended piece by piece: GCC 12 warns of a false overflow in a chain of + on a temporary.
    std::string command = "'";
    command += ORLUNE_BINARY;
    command += "' " + arguments + " >'" + output.string() + "' 2>&1";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(Binary, PrintsItsVersion) {
    TempDir dir;
    EXPECT_EQ(0, runBinary("--version", dir.file("out")));
    EXPECT_EQ("orlune 1.0.0\n", readFile(dir.file("out")));
}

TEST(Binary, ExitStatusReachesTheShell) {
    TempDir dir;
    EXPECT_EQ(2, runBinary("frobnicate x", dir.file("out")));
    EXPECT_EQ(3, runBinary("status '" + dir.file("missing.json").string() + "'", dir.file("out")));
    EXPECT_THAT(readFile(dir.file("out")), ::testing::StartsWith("Error: Design connection error\n"));

    std::filesystem::path d = dir.file("d.json");
    writeFile(d, minimalDesign());
    EXPECT_EQ(0, runBinary("update --list '" + d.string() + "'", dir.file("out")));
    EXPECT_EQ("SC1\t1\t644400\t500000\t6\t@2\nSC2\t2\t2482600\t500000\t4\t@1\n", readFile(dir.file("out")));
}

}  // namespace
}  // namespace orlune::test
