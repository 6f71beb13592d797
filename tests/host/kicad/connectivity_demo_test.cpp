// KiCad's own answer as the oracle: for every multi-page demo project of
// KiCad 6, 9 and 10, the nets computed from the project (pins by reference
// and pin number, and the net names) equal the netlist KiCad 10's
// `kicad-cli sch export netlist` writes for it (KiCad 9's where KiCad 10
// cannot load the demo: test::demoCli).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "host/kicad/connectivity.h"
#include "host/kicad/convert_oracle.h"
#include "host/kicad/kicad_test_support.h"
#include "host/kicad/project.h"
#include "host/kicad/sexpr.h"
#include "host/kicad/to_connectivity.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

using test::Netlist;

// Ours in the same form: pins of symbols that go on the board.
Netlist computed(const ConnectivityInput& in, const ConnectivityResult& r) {
    Netlist out;
    for (const Net& net : r.nets)
        for (const PinRef& p : net.pins) {
            const Symbol& s = in.instances[p.instance].symbols[p.symbol];
            if (s.reference.empty() || s.reference[0] == '#' || s.excludedFromBoard) continue;
            out[net.name].insert(s.reference + ":" + s.pins[p.pin].number);
        }
    return out;
}

// The first differences: each KiCad net that is not ours, beside our net of
// its first pin.
std::string describe(const Netlist& ours, const Netlist& theirs) {
    std::map<std::string, std::string> ourNetOf;
    for (const auto& [name, pins] : ours)
        for (const std::string& pin : pins)
            ourNetOf[pin] = name;
    std::string out;
    int shown = 0;
    for (const auto& [name, pins] : theirs) {
        const auto same = ours.find(name);
        if ((same != ours.end() && same->second == pins) || ++shown > 10) continue;
        const std::string& pin = *pins.begin();
        const std::string mine = ourNetOf.count(pin) ? ourNetOf[pin] : "(none)";
        out += "\n  KiCad's " + name + " (" + std::to_string(pins.size()) + " pins, " + pin + ") is our " + mine +
               " (" + std::to_string(ours.count(mine) ? ours.at(mine).size() : 0) + " pins)";
    }
    return out + (shown > 10 ? "\n  (" + std::to_string(shown) + " nets differ)" : "");
}

class KicadNetlist : public testing::TestWithParam<test::Demo> {};

TEST_P(KicadNetlist, EqualsOursOnEveryMultiPageDemo) {
    const test::Demo& demo = GetParam();
    if (demo.project.empty()) GTEST_SKIP() << "no KiCad demos installed";
    REQUIRE_KICAD_CLI_10();

    const sch::Project project = sch::readProject(demo.project.string());
    if (project.instances.size() < 2) GTEST_SKIP() << "one page only";
    const ConnectivityInput input = toConnectivityInput(project);
    const Netlist ours = computed(input, computeConnectivity(input));

    const fs::path net = test::demoNetlist(demo);
    ASSERT_FALSE(net.empty()) << "kicad-cli (" << test::demoCli(demo) << ") failed on " << demo.project;
    const fs::path work = fs::temp_directory_path() / ("orlune-netlist-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const Netlist theirs = test::kicadNetlist(net.string());
    // What `orlune convert` writes: the same partition, every part on the
    // page KiCad prints in the title block of its sheet.
    const test::Converted converted = test::convertAndRead(demo.project.string(), work / "design.json");
    const std::map<std::string, int> pages = test::kicadPages(net.string());
    fs::remove_all(work);

    EXPECT_TRUE(ours == theirs) << demo.name << ":" << describe(ours, theirs);
    ASSERT_TRUE(converted.error.empty()) << converted.error;
    test::Partition partition;
    for (const auto& [name, pins] : theirs)
        partition.insert(pins);
    std::string missing;
    for (const auto& pins : partition)
        if (!converted.partition.count(pins) && missing.size() < 400) missing += " {" + *pins.begin() + " ...}";
    EXPECT_TRUE(converted.partition == partition) << demo.name << ": KiCad nets convert does not hold:" << missing;
    // Ranked, the pages ORLUNE prints give KiCad's numbers: a page shared in
    // the file and printed as another by KiCad is numbered as KiCad does.
    std::set<int32_t> printed;
    for (const sch::SheetInstance& in : project.instances)
        printed.insert(in.page);
    const auto rankOf = [&](int32_t page) { return int(std::distance(printed.begin(), printed.find(page))) + 1; };
    for (const auto& [ref, number] : pages) {
        const auto found = converted.pages.find(ref);
        bool same = false;
        for (const int32_t page : found != converted.pages.end() ? found->second : std::set<int32_t>())
            same = same || (printed.count(page) && rankOf(page) == number);
        EXPECT_TRUE(same) << demo.name << ": " << ref << " is not on KiCad's sheet " << number;
    }
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadNetlist, testing::ValuesIn(test::multiPageDemos()), test::DemoName());

}  // namespace
}  // namespace orlune::kicad
