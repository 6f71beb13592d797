// A design of the size the host is built for: every walk step must cost
// O(1), so a whole update-like pass stays far below a quadratic time.
#include <gtest/gtest.h>

#include <string>

#include "host/operations_support.h"

namespace orlune::host::test {
namespace {

constexpr int kSheets = 100;
constexpr int kComponents = 20000;
constexpr int kItems = 150000;
constexpr int kNets = 5000;

std::string largeDesign() {
    std::string sheets = "[";
    for (int s = 1; s <= kSheets; ++s)
        sheets += (s > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(s) + ",\"name\":\"S\"}";
    sheets += "]";
    std::string nets = "[";
    for (int n = 1; n <= kNets; ++n)
        nets += (n > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(n) + ",\"name\":\"N\"}";
    nets += "]";
    std::string components = "[";
    components.reserve(kComponents * 200);
    for (int c = 0; c < kComponents; ++c) {
        const std::string sheet = std::to_string(c % kSheets + 1);
        const std::string net = std::to_string(c % kNets + 1);
        components += (c > 0 ? "," : "") + std::string("{\"refDes\":\"C") + std::to_string(c) +
                      "\",\"type\":\"SH_CONN\",\"kind\":2,\"pins\":[{\"x\":1,\"y\":2,\"sheet\":" + sheet +
                      ",\"net\":" + net + "}],\"symbol\":{\"sheet\":" + sheet + ",\"x\":1,\"y\":2}}";
    }
    components += "]";
    std::string items = "[";
    items.reserve(kItems * 100);
    for (int i = 0; i < kItems; ++i) {
        items += (i > 0 ? "," : "") + std::string("{\"type\":\"text\",\"sheet\":") + std::to_string(i % kSheets + 1) +
                 ",\"text\":\"" + (i % 2 ? "@1" : "t") + "\",\"style\":0,\"x\":" + std::to_string(i) +
                 ",\"y\":0,\"justification\":4}";
    }
    items += "]";
    return designJson(sheets, components, items, "", nets);
}

class Scale : public DbxTest {};

TEST_F(Scale, AnUpdateLikePassOverALargeDesignVisitsEveryItemOnce) {
    openDesign(largeDesign());

    // Delete_OwnTexts: every "@" text, deleted in hand.
    int walked = 0;
    int deleted = 0;
    dbx::ItemRecord item{};
    for (int32_t sheet = 0; sheet <= kSheets; ++sheet) {
        for (int32_t s = TGetFirstLayerItem(&context, sheet, &item); s == 0; s = TGetNextLayerItem(&context, &item)) {
            ++walked;
            if (item.itemKind == 13 && item.textPart.text[0] == '@') {
                ASSERT_EQ(0, TDeleteItem(&context, &item));
                ++deleted;
            }
        }
    }
    EXPECT_EQ(kItems + kComponents, walked);
    EXPECT_EQ(kItems / 2, deleted);

    // The component walk with its per-component calls and a net walk.
    int components = 0;
    int nodes = 0;
    dbx::ComponentRecord component{};
    dbx::PinRecord pin{};
    dbx::SymbolRecord symbol{};
    dbx::ItemRecord node{};
    for (int32_t s = TGetFirstComponent(&context, &component); s == 0; s = TGetNextComponent(&context, &component)) {
        ++components;
        const std::string refDes = field(component.refDes);
        ASSERT_EQ(0, TGetFirstCompPin(&context, refDes.c_str(), &pin));
        ASSERT_EQ(0, TGetCompSymbolByRefDes(&context, refDes.c_str(), &symbol));
        for (int32_t n = TGetFirstNetNode(&context, pin.netId, &node); n == 0; n = TGetNextNetNode(&context, &node))
            ++nodes;
        dbx::TextRecord text{};
        dbx::writeField(text.text, "@2");
        text.layerId = pin.layerId;
        text.location = pin.location;
        ASSERT_EQ(0, TPlaceText(&context, &text));
    }
    EXPECT_EQ(kComponents, components);
    EXPECT_EQ(kComponents * (kComponents / kNets), nodes);
}

}  // namespace
}  // namespace orlune::host::test
