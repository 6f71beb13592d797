// A walk asked for a net, bus or layer that the design lacks answers not
// found, and the walk of that kind ends there: its Next does not go on with
// the walk begun before.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "dbx/dbx32.h"
#include "host/file_support.h"
#include "host/operations_support.h"

namespace orlune::host::test {
namespace {

constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();

class UnknownWalk : public DbxTest {
protected:
    void SetUp() override { openDesign(kFullDesign); }
};

TEST_F(UnknownWalk, AnUnknownNetOrLayerEndsItsWalk) {
    for (const int32_t unknown : {99, -1, kLowest, kHighest}) {
        SCOPED_TRACE(unknown);
        dbx::ItemRecord item{};
        ASSERT_EQ(0, TGetFirstNetNode(&context, 1, &item));  // a walk with a node to come
        EXPECT_EQ(kNotFound, TGetFirstNetNode(&context, unknown, &item));
        EXPECT_EQ(kWalkEnded, TGetNextNetNode(&context, &item));

        ASSERT_EQ(0, TGetFirstLayerItem(&context, 1, &item));
        EXPECT_EQ(kNotFound, TGetFirstLayerItem(&context, unknown, &item));
        EXPECT_EQ(kWalkEnded, TGetNextLayerItem(&context, &item));
    }
}

TEST_F(UnknownWalk, AnUnknownBusEndsItsWalk) {
    // A name over the field's width without a NUL is read to the field's end.
    std::string overWidth(150, 'D');
    for (const std::string& unknown : {std::string(), std::string("d"), std::string("D "), overWidth}) {
        SCOPED_TRACE(unknown);
        dbx::NetRecord net{};
        ASSERT_EQ(0, TGetFirstBusNet(&context, "D", &net));  // nets 1 and -2
        EXPECT_EQ(kNotFound, TGetFirstBusNet(&context, unknown.c_str(), &net));
        EXPECT_EQ(kWalkEnded, TGetNextBusNet(&context, &net));
    }
    dbx::NetRecord net{};
    EXPECT_EQ(kNotFound, TGetFirstBusNet(&context, nullptr, &net));
}

}  // namespace
}  // namespace orlune::host::test
