#include "utils/connector_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "dbx/connection.h"
#include "support/test_support.h"
#include "utils/connector_designs.h"

namespace orlune::test {
namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

void runUtility(HostedRun& h, int16_t index) {
    Design_Open(h.run->connection, h.run->platform);
    Run_Utility(*h.run, index);
    Design_Close(h.run->connection);
}

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

// --- Closing messages --------------------------------------------------------

struct MessageCase {
    const char* name;
    std::vector<ConnectorSpec> components;
    std::vector<std::string> items;
    int16_t index;
    const char* text;  // nullptr: no box
    const char* title;
    Icon icon;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.name;
}

const char* const kNoConnectors = "This design doesn't contain SHEET connectors !!!";
const char* const kNotSelected = "SHEET connectors are not selected !!!";
const char* const kNotHighlighted = "SHEET connectors are not highlighted !!!";
const char* const kMissing = "Design contains SHEET conn. without SH_TYPE attribute";
const char* const kAllHave = "All SHEET conn. already have SH_TYPE attribute";

const std::vector<ConnectorSpec> kOnlyOtherParts = {{"R1", {{"SH_TYPE", "1"}}, 15, true, 0}};
const std::vector<ConnectorSpec> kAllTyped = {{"SC1", {{"SH_TYPE", "0"}}, 15, true},
                                              {"SC2", {{"SH_TYPE", "1"}}, 0, true}};
const std::vector<ConnectorSpec> kNoneHighlighted = {{"SC1", {{"SH_TYPE", "0"}}}, {"SC2", {{"SH_TYPE", "1"}}}};
const std::vector<ConnectorSpec> kSomeUntyped = {{"SC1", {{"SH_TYPE", "0"}}, 15, true},
                                                 {"SC2", {{"REF", "x"}}, 0, false}};
const std::vector<ConnectorSpec> kOnlyUntypedHighlighted = {{"SC1", {{"SH_TYPE", "0"}}, 0, false},
                                                            {"SC2", {}, 15, true}};

const MessageCase kMessageCases[] = {
    {"NoConnectorsHighlightOneRow", kOnlyOtherParts, {}, 0, kNoConnectors, "Warning", Icon::Warning},
    {"NoConnectorsHighlightMoreRows", kOnlyOtherParts, {}, 1, kNoConnectors, "Warning", Icon::Warning},
    {"NoConnectorsInvertHighlighted", kOnlyOtherParts, {}, 2, kNoConnectors, "Warning", Icon::Warning},
    {"NoConnectorsInvertSelected", kOnlyOtherParts, {}, 3, kNotSelected, "Warning", Icon::Warning},
    {"NoConnectorsAddAttribute", kOnlyOtherParts, {}, 4, kNoConnectors, "Warning", Icon::Warning},
    {"NoConnectorsCount", kOnlyOtherParts, {}, 5, nullptr, "", Icon::None},
    {"EmptyDesignCount", {}, {}, 5, nullptr, "", Icon::None},
    {"AllTypedHighlightOneRow", kAllTyped, {}, 0, nullptr, "", Icon::None},
    {"AllTypedHighlightMoreRows", kAllTyped, {}, 1, nullptr, "", Icon::None},
    {"AllTypedInvertHighlighted", kAllTyped, {}, 2, nullptr, "", Icon::None},
    {"AllTypedInvertSelected", kAllTyped, {}, 3, nullptr, "", Icon::None},
    {"AllTypedAddAttribute", kAllTyped, {}, 4, kAllHave, "Information", Icon::Information},
    {"NoneHighlighted", kNoneHighlighted, {}, 2, kNotHighlighted, "Warning", Icon::Warning},
    {"NothingSelected", kNoneHighlighted, {}, 3, kNotSelected, "Warning", Icon::Warning},
    {"SomeUntypedHighlightOneRow", kSomeUntyped, {}, 0, kMissing, "Information", Icon::Information},
    {"SomeUntypedHighlightMoreRows", kSomeUntyped, {}, 1, kMissing, "Information", Icon::Information},
    {"SomeUntypedInvertHighlighted", kSomeUntyped, {}, 2, kMissing, "Information", Icon::Information},
    // Only the selection is walked: the untyped connector is not selected.
    {"SomeUntypedInvertSelectedTypedOnly", kSomeUntyped, {}, 3, nullptr, "", Icon::None},
    {"SomeUntypedAddAttribute", kSomeUntyped, {}, 4, nullptr, "", Icon::None},
    {"OnlyUntypedHighlighted", kOnlyUntypedHighlighted, {}, 2, kNotHighlighted, "Warning", Icon::Warning},
    {"UntypedSelected", kOnlyUntypedHighlighted, {}, 3, kMissing, "Information", Icon::Information},
    {"TextsAndWiresSelected",
     kNoneHighlighted,
     {textItem("note", 1, true), wireItem(true)},
     3,
     kNotSelected,
     "Warning",
     Icon::Warning},
    {"OtherPartSelected", kOnlyOtherParts, {textItem("x", 1, true)}, 3, kNotSelected, "Warning", Icon::Warning},
};

class ClosingMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ClosingMessage, ShowsExactlyTheExpectedBox) {
    const MessageCase& c = GetParam();
    HostedRun h(designJson(c.components, c.items));
    runUtility(h, c.index);
    if (c.text == nullptr) {
        EXPECT_TRUE(h.platform.boxes.empty()) << h.platform.boxes.front().text;
        return;
    }
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const ShownBox& box = h.platform.boxes.front();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.title, c.title);
    EXPECT_EQ(box.icon, c.icon);
    EXPECT_EQ(box.buttons, Buttons::Ok);
}

INSTANTIATE_TEST_SUITE_P(Utilities, ClosingMessage, ::testing::ValuesIn(kMessageCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// --- Inversion ---------------------------------------------------------------

struct InvertCase {
    const char* before;
    const char* after;
};

const InvertCase kInvertCases[] = {{"1", "0"}, {"0", "1"}, {"", "0"}, {"2", "0"}, {"abc", "0"}, {" 0 ", "1"}};

std::vector<ConnectorSpec> invertDesign(bool highlighted, bool selected) {
    std::vector<ConnectorSpec> components;
    int n = 1;
    for (const InvertCase& c : kInvertCases) {
        components.push_back(
            {"SC" + std::to_string(n++), {{"REF", "a"}, {"SH_TYPE", c.before}}, highlighted ? 15 : 0, selected});
    }
    // Never touched: neither highlighted nor selected.
    components.push_back({"SC99", {{"SH_TYPE", "1"}}});
    return components;
}

void expectInverted(HostedRun& h) {
    int n = 1;
    for (const InvertCase& c : kInvertCases) {
        const std::string refDes = "SC" + std::to_string(n++);
        EXPECT_EQ(attributeValue(h.host, refDes, "SH_TYPE"), c.after) << "value \"" << c.before << "\"";
        EXPECT_EQ(attributeValue(h.host, refDes, "REF"), "a");
    }
    EXPECT_EQ(attributeValue(h.host, "SC99", "SH_TYPE"), "1");
}

TEST(InvertShType, InvertSelectedMapsEveryOldValue) {
    HostedRun h(designJson(invertDesign(false, true)));
    runUtility(h, kUtilInvertSelected);
    EXPECT_TRUE(h.platform.boxes.empty());
    expectInverted(h);
}

TEST(InvertShType, InvertHighlightedMapsEveryOldValue) {
    HostedRun h(designJson(invertDesign(true, false)));
    runUtility(h, kUtilInvertHighlighted);
    EXPECT_TRUE(h.platform.boxes.empty());
    expectInverted(h);
}

TEST(InvertShType, InvertedValuesReachTheFile) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "0"}}, 0, true}}));
    runUtility(h, kUtilInvertSelected);
    const std::string text = h.designText();
    EXPECT_EQ(countOf(text, "\"value\": \"1\""), 1) << text;
    EXPECT_EQ(countOf(text, "\"value\": \"0\""), 0) << text;
}

TEST(InvertShType, InvertHighlightedLeavesUntypedHighlightedConnectorsAlone) {
    HostedRun h(designJson({{"SC1", {}, 15}, {"SC2", {{"SH_TYPE", "0"}}}}));
    runUtility(h, kUtilInvertHighlighted);
    EXPECT_EQ(attributeValue(h.host, "SC2", "SH_TYPE"), "0");
    EXPECT_EQ(attributeCount(h.host, "SC1", "SH_TYPE"), 0);
}

TEST(InvertShType, ConnectorReachedThroughTwoSymbolItemsIsInvertedTwice) {
    // The file format gives each component one symbol; an editor with
    // multi-part symbols can deliver two symbol items of one connector. The
    // second selected symbol (of SC9, no connector) is made to name SC1 by rewriting the
    // reference in place just before the component is looked up.
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "0"}}, 0, true}, {"SC9", {}, 0, true, 0}}));
    int lookups = 0;
    h.host.onCall = [&](std::string_view op) {
        if (op != "TGetCompByRefDes") return;
        if (++lookups == 2) {
            ASSERT_EQ(h.run->connector.CurrentRefDes, std::string("SC9", 4));
            h.run->connector.CurrentRefDes[2] = '1';
        }
    };
    runUtility(h, kUtilInvertSelected);
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(attributeValue(h.host, "SC1", "SH_TYPE"), "0");
    EXPECT_TRUE(h.platform.boxes.empty());
}

TEST(InvertShType, ASelectedSymbolWhoseComponentIsNotFoundIsPassedOver) {
    // The look-up of R1 is made to fail; the record still describes SC1, a
    // connector, which must not make R1's symbol count as one.
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "0"}}, 0, true}, {"R1", {}, 0, true, 0}}));
    int lookups = 0;
    h.host.onCall = [&](std::string_view op) {
        if (op == "TGetCompByRefDes" && ++lookups == 2) h.run->connector.CurrentRefDes = std::string("R9", 3);
    };
    runUtility(h, kUtilInvertSelected);
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(attributeValue(h.host, "SC1", "SH_TYPE"), "1");
    EXPECT_TRUE(h.platform.boxes.empty()) << h.platform.boxes.front().text;
}

// --- Highlighting ------------------------------------------------------------

TEST(HighlightConnector, EachUtilityHighlightsItsGroupAndBothGroupsStay) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "0"}}},
                            {"SC2", {{"SH_TYPE", "1"}}},
                            {"SC3", {}},
                            {"SC4", {{"SH_TYPE", "2"}}},
                            {"R1", {{"SH_TYPE", "1"}}, 0, false, 0}}));
    runUtility(h, kUtilHighlightOneRow);
    EXPECT_EQ(highlightOf(h.host, "SC1"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC2"), 0);
    EXPECT_EQ(highlightOf(h.host, "SC3"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC4"), 0);
    EXPECT_EQ(highlightOf(h.host, "R1"), 0);

    runUtility(h, kUtilHighlightMoreRows);
    EXPECT_EQ(highlightOf(h.host, "SC1"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC2"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC3"), 15);
    EXPECT_EQ(highlightOf(h.host, "SC4"), 0);
    EXPECT_EQ(highlightOf(h.host, "R1"), 0);

    // Both runs met SC3 without the attribute.
    ASSERT_EQ(h.platform.boxes.size(), 2u);
    EXPECT_EQ(h.platform.boxes[0].text, kMissing);
    EXPECT_EQ(h.platform.boxes[1].text, kMissing);
}

TEST(HighlightConnector, ASymbolThatCannotBeFetchedActsOnNoOtherSymbol) {
    // SC1 is highlighted; the symbol look-up for SC2 is made to fail, which
    // leaves SC1's symbol in the record. Neither highlighting nor inverting
    // may then act on SC2's behalf.
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "0"}}, 15}, {"SC2", {{"SH_TYPE", "0"}}}}));
    int lookups = 0;
    std::vector<std::string> calls;
    h.host.onCall = [&](std::string_view op) {
        calls.emplace_back(op);
        if (op == "TGetCompSymbolByRefDes" && ++lookups % 2 == 0) h.run->connector.CurrentRefDes = std::string("SX", 3);
    };
    for (int16_t index : {kUtilHighlightOneRow, kUtilInvertHighlighted}) {
        calls.clear();
        runUtility(h, index);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "THighlightSymbol"), index == kUtilHighlightOneRow ? 1 : 0);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "TModifyCompAttribute"),
                  index == kUtilInvertHighlighted ? 1 : 0);
    }
    EXPECT_EQ(lookups, 4);
    EXPECT_EQ(attributeValue(h.host, "SC1", "SH_TYPE"), "1");
    EXPECT_EQ(attributeValue(h.host, "SC2", "SH_TYPE"), "0");
    EXPECT_EQ(highlightOf(h.host, "SC2"), 0);
}

struct NameCase {
    const char* storedName;
    bool counts;  // recognised as the connector type attribute
};

const NameCase kNameCases[] = {
    {"SH_TYPE", true}, {" SH_TYPE ", true}, {"sh_type", false}, {"SH_TYPE2", false}, {"SH_TYP", false},
};

TEST(HighlightConnector, AttributeNameMustMatchExactlyApartFromSurroundingSpaces) {
    std::vector<ConnectorSpec> components;
    int n = 1;
    for (const NameCase& c : kNameCases)
        components.push_back({"SC" + std::to_string(n++), {{c.storedName, "1"}}});
    HostedRun h(designJson(components));
    runUtility(h, kUtilHighlightMoreRows);
    n = 1;
    for (const NameCase& c : kNameCases) {
        EXPECT_EQ(highlightOf(h.host, "SC" + std::to_string(n++)), c.counts ? 15 : 0) << c.storedName;
    }
}

TEST(HighlightConnector, TheFirstMatchingAttributeDecides) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "1"}, {"SH_TYPE", "0"}}}}));
    runUtility(h, kUtilHighlightMoreRows);
    EXPECT_EQ(highlightOf(h.host, "SC1"), 15);
    EXPECT_TRUE(h.platform.boxes.empty());
}

// --- Adding the attribute ----------------------------------------------------

TEST(AddAttribute, AddsZeroWhereMissingThenReportsNothingToAdd) {
    HostedRun h(
        designJson({{"SC1", {}}, {"SC2", {{"REF", "x"}}}, {"SC3", {{"SH_TYPE", "1"}}}, {"R1", {}, 0, false, 0}}));
    runUtility(h, kUtilAddAttribute);
    EXPECT_TRUE(h.platform.boxes.empty());
    EXPECT_EQ(attributeValue(h.host, "SC1", "SH_TYPE"), "0");
    EXPECT_EQ(attributeValue(h.host, "SC2", "SH_TYPE"), "0");
    EXPECT_EQ(attributeValue(h.host, "SC2", "REF"), "x");
    EXPECT_EQ(attributeValue(h.host, "SC3", "SH_TYPE"), "1");
    EXPECT_EQ(attributeCount(h.host, "SC3", "SH_TYPE"), 1);
    EXPECT_EQ(attributeCount(h.host, "R1", "SH_TYPE"), 0);
    EXPECT_EQ(countOf(h.designText(), "\"SH_TYPE\""), 3);

    runUtility(h, kUtilAddAttribute);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text, kAllHave);
    EXPECT_EQ(h.platform.boxes[0].title, "Information");
    EXPECT_EQ(h.platform.boxes[0].icon, Icon::Information);
    for (const char* refDes : {"SC1", "SC2", "SC3"})
        EXPECT_EQ(attributeCount(h.host, refDes, "SH_TYPE"), 1);
    EXPECT_EQ(countOf(h.designText(), "\"SH_TYPE\""), 3);
}

TEST(AddAttribute, AddedAttributeIsRecognisedByTheNextUtility) {
    HostedRun h(designJson({{"SC1", {}}}));
    runUtility(h, kUtilAddAttribute);
    runUtility(h, kUtilInvertSelected);  // nothing selected
    runUtility(h, kUtilHighlightOneRow);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text, kNotSelected);
    EXPECT_EQ(highlightOf(h.host, "SC1"), 15);
}

// --- Counting ----------------------------------------------------------------

TEST(CountUtility, SortsConnectorsIntoRowModes) {
    HostedRun h(designJson({{"SC1", {{"SH_TYPE", "1"}}},
                            {"SC2", {{"SH_TYPE", "0"}}},
                            {"SC3", {{"REF", "1"}}},
                            {"SC4", {{"SH_TYPE", "2"}}},
                            {"R1", {{"SH_TYPE", "1"}}, 0, false, 0}}));
    runUtility(h, kUtilCount);
    EXPECT_EQ(h.run->counts.OneRowCount, 3);
    EXPECT_EQ(h.run->counts.MoreRowsCount, 1);
    EXPECT_EQ(h.run->counts.NoShTypeCount, 1);
    EXPECT_TRUE(h.platform.boxes.empty());
}

TEST(CountUtility, CountersStopAtTheirLargestValue) {
    // No attribute in hand: the search finds nothing and no DBX call is made.
    RecordingPlatform platform;
    orlune::Run run(platform);
    run.connection.LastStatus = 32012;
    run.counts.OneRowCount = std::numeric_limits<int32_t>::max();
    run.counts.NoShTypeCount = std::numeric_limits<int32_t>::max() - 1;
    Connector_Action(run, kUtilCount);
    EXPECT_EQ(run.counts.OneRowCount, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(run.counts.NoShTypeCount, std::numeric_limits<int32_t>::max());

    // A "1" already in hand: the search stops at once.
    run.connection.LastStatus = 0;
    run.connector.ShTypeFound = 0;
    dbx::writeField(run.records.AttributeRec.name, "SH_TYPE");
    dbx::writeField(run.records.AttributeRec.value, "1");
    run.counts.MoreRowsCount = std::numeric_limits<int32_t>::max();
    Connector_Action(run, kUtilCount);
    EXPECT_EQ(run.connector.ShTypeFound, 1);
    EXPECT_EQ(run.counts.MoreRowsCount, std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace orlune::test
