// Helpers of the operation tests: a design file served by a host of its own,
// the conversation opened through TOpenDesign, and readable summaries of
// what the walks deliver.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/dbx32.h"
#include "host/design.h"
#include "host/host_impl.h"
#include "support/test_support.h"

namespace orlune::host::test {

// The styles of the worked example on the design-file page, and a second.
inline constexpr std::string_view kStyles = R"([
    { "number": 0, "name": "Default", "height": 100, "charWidth": 60, "advances": { "@": 100, ",": 20 } },
    { "number": 1, "id": 7, "name": "Big", "height": 200, "charWidth": 120 } ])";

// A design file around the given arrays (JSON text); `more` adds top-level
// keys (for example "\"textLimit\": 5,").
inline std::string designJson(std::string_view sheets, std::string_view components, std::string_view items,
                              std::string_view more = "", std::string_view nets = "[]", std::string_view buses = "[]",
                              std::string_view attributes = "[]", std::string_view styles = kStyles) {
    std::string json = R"({ "format": "orlune-design", "version": 1, "units": 1, "workspace": [25400000, 17780000],
)";
    json += more;
    json += "\n\"textStyles\": " + std::string(styles) + ",\n\"sheets\": " + std::string(sheets) +
            ",\n\"nets\": " + std::string(nets) + ",\n\"buses\": " + std::string(buses) +
            ",\n\"components\": " + std::string(components) + ",\n\"items\": " + std::string(items) +
            ",\n\"attributes\": " + std::string(attributes) + "\n}\n";
    return json;
}

// A text field as the program reads it back: up to its first NUL.
template <std::size_t N>
std::string field(const char (&f)[N]) {
    return dbx::readField(f);
}

// One delivered item in a line: "T:text", "S:refDes", "B:busName", "W"
// (wire), "L" (line), "P:layer" (a net node).
inline std::string describe(const dbx::ItemRecord& item) {
    switch (item.itemKind) {
        case 13:
            return "T:" + field(item.textPart.text);
        case 35:
            return "S:" + field(item.symbolPart.refDes);
        case 45:
            return "B:" + field(item.busPart.busName);
        case 14:
            return "W";
        case 9:
            return "L";
        case 7:
            return "P:" + std::to_string(item.pinPart.layerId);
        default:
            return "?" + std::to_string(item.itemKind);
    }
}

// A design file of its own, and the conversation with it.
class DbxTest : public ::testing::Test {
protected:
    void openDesign(std::string_view json) {
        run.reset();  // its binding first, so that the new one is the thread's host
        run = std::make_unique<orlune::test::HostedRun>(json);
        ASSERT_EQ(0, TOpenDesign(0, 16000, "SCH", &context)) << run->host.lastOpenError();
    }
    void reopen() {
        ASSERT_EQ(0, TCloseDesign(&context, "")) << run->host.lastSaveError();
        ASSERT_EQ(0, TOpenDesign(0, 16000, "SCH", &context)) << run->host.lastOpenError();
    }
    Host& host() { return run->host; }
    Design& design() { return *host().impl().design; }

    // Every item of a walk, described; `first` and `next` are the walk's
    // two operations.
    template <typename First, typename Next>
    std::vector<std::string> collect(First first, Next next) {
        std::vector<std::string> seen;
        dbx::ItemRecord item{};
        for (int32_t status = first(item); status == 0; status = next(item))
            seen.push_back(describe(item));
        return seen;
    }
    std::vector<std::string> layerItems(int32_t layer) {
        return collect([&](dbx::ItemRecord& item) { return TGetFirstLayerItem(&context, layer, &item); },
                       [&](dbx::ItemRecord& item) { return TGetNextLayerItem(&context, &item); });
    }
    std::vector<std::string> selectedItems() {
        return collect([&](dbx::ItemRecord& item) { return TGetFirstSelectedItem(&context, &item); },
                       [&](dbx::ItemRecord& item) { return TGetNextSelectedItem(&context, &item); });
    }
    std::vector<std::string> netNodes(int32_t net) {
        return collect([&](dbx::ItemRecord& item) { return TGetFirstNetNode(&context, net, &item); },
                       [&](dbx::ItemRecord& item) { return TGetNextNetNode(&context, &item); });
    }

    dbx::DesignContext context{};
    std::unique_ptr<orlune::test::HostedRun> run;
};

}  // namespace orlune::host::test
