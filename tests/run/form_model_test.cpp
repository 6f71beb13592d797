#include "run/form_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace orlune::test {
namespace {

// The focus walks the controls by these numbers; a repeated number would
// leave the order between two controls to chance.
TEST(FormModel, TabOrderNumbersRunFromZeroWithoutGapOrRepeat) {
    const ui::FormModel form;
    std::vector<int> numbers;
    for (const ui::Control& c : form.controls())
        numbers.push_back(c.tabOrder);
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers.size(), 39u);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], static_cast<int>(i));
}

}  // namespace
}  // namespace orlune::test
