// KiCad 10, the reference: its kicad-cli (scripts/kicad-cli-10 runs it in
// the chroot scripts/install-deps.sh builds, or ORLUNE_KICAD_CLI_10 names
// another) and its demo projects. Without it the checks skip, except in CI.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orlune::kicad::test {

inline const std::filesystem::path kKicad10Demos = ORLUNE_KICAD10_DEMOS;

// The command that runs KiCad 10's kicad-cli, or empty when there is none
// (it must answer `version` with 10.x).
inline const std::string& kicadCli10() {
    static const std::string cli = [] {
        const char* env = std::getenv("ORLUNE_KICAD_CLI_10");
        const std::string candidate = env && *env ? env : ORLUNE_KICAD_CLI_10;
        std::FILE* out = ::popen(("'" + candidate + "' version 2>/dev/null").c_str(), "r");
        if (!out) return std::string();
        char line[64] = {};
        const bool read = std::fgets(line, sizeof line, out) != nullptr;
        const int status = ::pclose(out);
        return read && status == 0 && std::string(line).rfind("10.", 0) == 0 ? candidate : std::string();
    }();
    return cli;
}

// `kicad-cli-10 ARGS` quietly; true when it succeeded.
inline bool runKicadCli10(const std::string& args) {
    return std::system(("'" + kicadCli10() + "' " + args + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace orlune::kicad::test

// Skips the test without KiCad 10, or fails it in CI, where it must be there.
#define REQUIRE_KICAD_CLI_10()                                                                 \
    do {                                                                                       \
        if (orlune::kicad::test::kicadCli10().empty()) {                                       \
            if (std::getenv("CI")) FAIL() << "KiCad 10's kicad-cli is missing in CI";          \
            GTEST_SKIP() << "KiCad 10's kicad-cli is not installed (scripts/install-deps.sh)"; \
        }                                                                                      \
    } while (0)
