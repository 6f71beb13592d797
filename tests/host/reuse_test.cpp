// What the host keeps from one conversation to the next, and what it leaves
// in a record it fills again: the indexes of a design served from the cache
// stay in step with every change, and a reused ItemRecord never shows a byte
// of an item delivered before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dbx/dbx32.h"
#include "host/file_support.h"
#include "host/operations_support.h"

namespace orlune::host::test {
namespace {

using ::testing::ElementsAre;

class Reuse : public DbxTest {
protected:
    void SetUp() override { openDesign(kFullDesign); }

    // Every walk of the open conversation, in one list of lines.
    std::vector<std::string> everything() {
        std::vector<std::string> all;
        for (int32_t layer : {0, 1, 2})
            for (const std::string& s : layerItems(layer))
                all.push_back("layer " + std::to_string(layer) + " " + s);
        for (const std::string& s : selectedItems())
            all.push_back("selected " + s);
        for (int32_t net : {1, -2})
            for (const std::string& s : netNodes(net))
                all.push_back("net " + std::to_string(net) + " " + s);
        return all;
    }

    // What a host of its own delivers, reading the file afresh; the
    // conversation must be closed.
    std::vector<std::string> everythingReadAfresh() {
        Host fresh;
        fresh.setDesignFile(run->designPath.string());
        HostBinding binding(fresh);
        EXPECT_EQ(0, TOpenDesign(0, 16000, "SCH", &context)) << fresh.lastOpenError();
        std::vector<std::string> all = everything();
        EXPECT_EQ(0, TCloseDesign(&context, ""));
        return all;
    }

    dbx::TextRecord textAt(int32_t layer, int32_t x, const char* text) {
        dbx::TextRecord record{};
        record.layerId = layer;
        record.location = {x, 100};
        record.justification = 4;
        dbx::writeField(record.text, text);
        return record;
    }
};

TEST_F(Reuse, ACachedDesignWalksAsTheFileItWasSavedTo) {
    // Changes of every kind the walks see: a text placed on sheet 2, the
    // text "@2" deleted from sheet 1.
    dbx::TextRecord placed = textAt(2, 7, "@1");
    ASSERT_EQ(0, TPlaceText(&context, &placed));
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
    while (!(item.itemKind == dbx::kItemText && field(item.textPart.text) == "@2"))
        ASSERT_EQ(0, TGetNextLayerItem(&context, &item));
    ASSERT_EQ(0, TDeleteItem(&context, &item));
    reopen();  // saved, and served again from the cache

    const Design* served = &design();
    const std::vector<std::string> seen = everything();
    EXPECT_THAT(layerItems(2), ElementsAre("S:SC2", "W", "T:@1"));
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    EXPECT_EQ(served, host().impl().design.get()) << "the cache was not used";
    EXPECT_EQ(seen, everythingReadAfresh());
}

TEST_F(Reuse, ASelectionMadeBetweenConversationsIsWalked) {
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    std::string reason;
    ASSERT_EQ(0, host().selectSymbols({"R1"}, reason)) << reason;
    ASSERT_EQ(0, TOpenDesign(0, 16000, "SCH", &context));
    EXPECT_THAT(selectedItems(), ElementsAre("S:R1"));
}

TEST_F(Reuse, ADesignChangedThroughTheHostsPointerIsIndexedAnew) {
    ASSERT_EQ(0, TCloseDesign(&context, ""));
    // As a test or a tool may do between conversations.
    run->host.design()->components[2].symbol.sheet = 2;
    ASSERT_EQ(0, TOpenDesign(0, 16000, "SCH", &context));
    EXPECT_THAT(layerItems(2), ElementsAre("S:SC2", "S:R1", "W"));
}

// Bytes of each part of an ItemRecord that a delivery may fill.
struct Parts {
    bool text, bus, symbol, pin;
};

template <typename T>
bool allZero(const T& part) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&part);
    for (std::size_t i = 0; i < sizeof part; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

Parts filled(const dbx::ItemRecord& item) {
    return {!allZero(item.textPart), !allZero(item.busPart), !allZero(item.symbolPart), !allZero(item.pinPart)};
}

TEST_F(Reuse, OneRecordThroughItemsOfEveryKindShowsOnlyTheItemInHand) {
    dbx::ItemRecord item;
    std::memset(&item, 0x5A, sizeof item);
    // Sheet 1: SC1, R1 (symbols), "@2" (text), "D" (bus); then a net node,
    // a wire on sheet 2, and sheet 1 again.
    struct Step {
        const char* what;
        int32_t (*call)(dbx::DesignContext*, dbx::ItemRecord*);
        int32_t kind;
    };
    const auto first1 = [](dbx::DesignContext* c, dbx::ItemRecord* i) { return TGetFirstLayerItem(c, 1, i); };
    const auto first2 = [](dbx::DesignContext* c, dbx::ItemRecord* i) { return TGetFirstLayerItem(c, 2, i); };
    const auto next = [](dbx::DesignContext* c, dbx::ItemRecord* i) { return TGetNextLayerItem(c, i); };
    const auto node = [](dbx::DesignContext* c, dbx::ItemRecord* i) { return TGetFirstNetNode(c, 1, i); };
    const Step steps[] = {
        {"symbol SC1", first1, dbx::kItemSymbol},
        {"symbol R1", next, dbx::kItemSymbol},
        {"text @2", next, dbx::kItemText},
        {"bus D", next, dbx::kItemBus},
        {"pin of SC1", node, 7},
        {"symbol SC2", first2, dbx::kItemSymbol},
        {"wire", next, 14},
        {"symbol SC1 again", first1, dbx::kItemSymbol},
        {"pin again", node, 7},
        {"pin of SC2", TGetNextNetNode, 7},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_EQ(0, step.call(&context, &item));
        ASSERT_EQ(step.kind, item.itemKind);
        const Parts p = filled(item);
        EXPECT_EQ(step.kind == dbx::kItemText, p.text);
        EXPECT_EQ(step.kind == dbx::kItemBus, p.bus);
        EXPECT_EQ(step.kind == dbx::kItemSymbol, p.symbol);
        EXPECT_EQ(step.kind == 7, p.pin);
    }
    EXPECT_EQ(2, item.pinPart.layerId);
    EXPECT_EQ(2000000, item.pinPart.location.x);
}

TEST_F(Reuse, ARecordThatNoLongerNamesItsDeliveryIsClearedWhole) {
    dbx::ItemRecord item{};
    ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));  // symbol SC1
    struct Case {
        const char* what;
        void (*spoil)(dbx::ItemRecord&);
    };
    const Case cases[] = {
        // A kind changed by hand: the parts no longer follow from it.
        {"kind changed", [](dbx::ItemRecord& r) { r.itemKind = dbx::kItemText; }},
        // Left by an earlier conversation.
        {"other conversation", [](dbx::ItemRecord& r) { r.reservedWords[0] ^= 0x40; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
        std::memset(&item.textPart, 0x33, sizeof item.textPart);
        std::memset(&item.pinPart, 0x33, sizeof item.pinPart);
        c.spoil(item);
        ASSERT_EQ(0, TGetFirstNetNode(&context, 1, &item));
        const Parts p = filled(item);
        EXPECT_FALSE(p.text);
        EXPECT_FALSE(p.symbol);
        EXPECT_TRUE(p.pin);
        EXPECT_EQ(1, item.pinPart.layerId);
    }
}

}  // namespace
}  // namespace orlune::host::test
