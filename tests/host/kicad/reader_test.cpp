#include <gtest/gtest.h>

#include "host/kicad/project.h"

namespace orlune::kicad {
namespace {

TEST(KicadReader, Placeholder) {
    SUCCEED();
}

}  // namespace
}  // namespace orlune::kicad
