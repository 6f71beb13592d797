// Designs damaged at random: the loader answers a status for every one, never
// crashes, and whatever it accepts survives a save and a reload unchanged.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "host/file_support.h"
#include "host/load.h"
#include "host/save.h"

namespace orlune::host {
namespace {

int32_t load(const std::string& text, std::unique_ptr<Design>& design) {
    std::string reason;
    const int32_t status = loadDesign(std::make_shared<const std::string>(text), "m.json", design, reason);
    EXPECT_EQ(status == kOk, reason.empty()) << reason;
    EXPECT_EQ(std::string::npos, reason.find('\n'));
    return status;
}

TEST(Mutation, EveryDamagedDesignGetsAStatusAndEveryAcceptedOneRoundTrips) {
    const std::string original(test::kFullDesign);
    const std::string alphabet = "{}[]\":,0123456789-.eE \\u\ntrfalsenul\x80\xc3\xa9";
    std::mt19937 random(20261207);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % text.size();
            switch (random() % 3) {
                case 0:
                    text[at] = alphabet[random() % alphabet.size()];
                    break;
                case 1:
                    text.erase(at, 1 + random() % 8);
                    break;
                default:
                    text.insert(at, 1, alphabet[random() % alphabet.size()]);
                    break;
            }
        }
        std::unique_ptr<Design> design;
        const int32_t status = load(text, design);
        ASSERT_TRUE(status == kOk || status == kNotJson || status == kInvalidDesign || status == kIncompatible)
            << status;
        if (status != kOk) continue;
        ++accepted;
        const std::string saved = designText(*design);
        std::unique_ptr<Design> again;
        ASSERT_EQ(kOk, load(saved, again)) << saved;
        EXPECT_EQ(saved, designText(*again));
        const DesignSummary a = summarize(*design);
        const DesignSummary b = summarize(*again);
        EXPECT_EQ(a.components, b.components);
        EXPECT_EQ(a.items, b.items);
    }
    EXPECT_GT(accepted, 30);  // the damage leaves some designs valid
}

}  // namespace
}  // namespace orlune::host
