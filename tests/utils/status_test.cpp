#include "utils/status.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "dbx/connection.h"
#include "support/test_support.h"
#include "utils/connector_designs.h"
#include "utils/connector_utils.h"

namespace orlune::test {
namespace {

using Boxes = std::array<const char*, 5>;

void expectBoxes(const Run& run, const Boxes& expected) {
    for (int i = 0; i < 5; ++i) {
        const ui::Control& box = run.form.at("Text4", i);
        EXPECT_EQ(box.caption, expected[static_cast<std::size_t>(i)]) << "Text4(" << i << ")";
        EXPECT_TRUE(box.visible) << "Text4(" << i << ")";
    }
}

// The page as the Status button leaves it before the counting starts, with
// the sheets counted as start-up counts them.
void openStatusPage(Run& run) {
    run.counts.SheetCount = 2;
    run.form.at("Frame3").visible = false;
    run.page.ActivePage = 3;
    run.page.FocusButton = 2;
}

struct CountCase {
    const char* name;
    std::vector<ConnectorSpec> components;
    std::vector<std::string> items;
    Boxes expected;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

const CountCase kCountCases[] = {
    {"EmptyDesign", {}, {}, {" 0", " 0", " 0", " 0", " 0"}},
    {"OtherPartsAndTextsOnly",
     {{"R1", {{"SH_TYPE", "1"}}, 0, false, 0}},
     {textItem("note"), wireItem()},
     {" 0", " 0", " 0", " 0", " 0"}},
    {"OneOfEachKind",
     {{"SC1", {{"SH_TYPE", "1"}}}, {"SC2", {{"SH_TYPE", "0"}}}, {"SC3", {}}},
     {},
     {" 2", " 1", " 1", " 0", " 0"}},
    {"ValueTwoIsOneRow", {{"SC1", {{"SH_TYPE", "2"}}}}, {}, {" 1", " 0", " 0", " 0", " 0"}},
    {"AttributeCaseMatters", {{"SC1", {{"sh_type", "1"}}}}, {}, {" 1", " 0", " 1", " 0", " 0"}},
    {"OwnTextsOnBothSheets",
     {{"SC1", {{"SH_TYPE", "0"}}}},
     {textItem("@2"), textItem("@1,3", 2), textItem("@@"), textItem("note @2"), textItem("@@ 2", 2)},
     {" 1", " 0", " 0", " 2", " 2"}},
};

class StatusCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(StatusCounts, FillsTheFiveBoxes) {
    const CountCase& c = GetParam();
    HostedRun h(designJson(c.components, c.items));
    orlune::Run& run = *h.run;
    openStatusPage(run);
    Command_Status(run);
    expectBoxes(run, c.expected);
    EXPECT_TRUE(h.platform.boxes.empty());
    EXPECT_EQ(run.form.at("Command9").caption, "Ok");
    EXPECT_TRUE(run.form.at("Frame3").visible);
    EXPECT_TRUE(run.form.hasFocus("Command9"));
    EXPECT_EQ(run.page.FocusButton, 3);
    EXPECT_FALSE(run.connection.DesignOpen);
}

INSTANTIATE_TEST_SUITE_P(Designs, StatusCounts, ::testing::ValuesIn(kCountCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(CommandStatus, EveryVisitCountsAfresh) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "1"}}}, {"SC2", {}}}, {textItem("@2")}));
    orlune::Run& run = *h.run;
    // Leftovers of an earlier visit must not be added to.
    run.counts.OneRowCount = 40;
    run.counts.MoreRowsCount = 41;
    run.counts.NoShTypeCount = 42;
    run.counts.AssignedCount = 43;
    run.counts.TooLongCount = 44;
    openStatusPage(run);
    Command_Status(run);
    expectBoxes(run, {" 1", " 1", " 1", " 1", " 0"});
    Command_Status(run);
    expectBoxes(run, {" 1", " 1", " 1", " 1", " 0"});

    // A change between visits shows on the next one.
    Design_Open(run.connection, run.platform);
    Run_Utility(run, kUtilAddAttribute);
    Design_Close(run.connection);
    Command_Status(run);
    expectBoxes(run, {" 1", " 1", " 0", " 1", " 0"});
}

TEST(CommandStatus, PageShowsWaitAndNoNumbersWhileCounting) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "1"}}}}));
    orlune::Run& run = *h.run;
    openStatusPage(run);
    std::string captionAtOpen;
    bool seen = false;
    run.form.onRefresh = [&] { captionAtOpen = run.form.at("Command9").caption; };
    h.host.onCall = [&](std::string_view op) {
        if (op != "TGetFirstComponent" || seen) return;
        seen = true;
        EXPECT_TRUE(run.connection.DesignOpen);
        EXPECT_EQ(run.form.at("Command9").caption, "Wait");
        EXPECT_TRUE(run.form.at("Frame3").visible);
        EXPECT_TRUE(run.form.hasFocus("Command9"));
        EXPECT_EQ(run.page.FocusButton, 3);
        for (int i = 0; i < 5; ++i)
            EXPECT_FALSE(run.form.at("Text4", i).visible) << i;
    };
    Command_Status(run);
    EXPECT_TRUE(seen);
    EXPECT_EQ(captionAtOpen, "Wait");
    EXPECT_EQ(run.form.at("Command9").caption, "Ok");
}

}  // namespace
}  // namespace orlune::test
