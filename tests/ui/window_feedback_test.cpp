#include "ui/window_feedback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run.h"
#include "support/test_support.h"

namespace orlune::test {
namespace {

TEST(WindowTitle, NamesTheDesignFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/ann/boards/video/video.kicad_pro", "ORLUNE - video.kicad_pro"},
        {"board.json", "ORLUNE - board.json"},
        {"", "ORLUNE"},
        {"dir/", "ORLUNE"},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(ui::Window_Title(path), title) << path;
}

TEST(WindowUtilities, HighlightAndInvertDisabledWithTheReason) {
    RecordingPlatform platform;
    orlune::Run run(platform);
    ui::Limit_Utilities(run, "");
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(run.form.at("Command8", i).enabled) << i;
    ui::Limit_Utilities(run, "KiCad files keep no highlight");
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(run.form.at("Command8", i).enabled) << i;
        EXPECT_EQ(run.form.at("Command8", i).hint, "KiCad files keep no highlight") << i;
    }
    EXPECT_TRUE(run.form.at("Command8", 4).enabled) << "add attribute works on every design";
}

// A sequence of start-up and passes, and the boxes each pass ends with.
struct Box {
    std::string title;
    std::string text;
    Icon icon;
};
struct Step {
    bool startUp;
    ui::HostNews news;
    std::vector<Box> boxes;  // shown by this step
};

TEST(WindowFeedback, WarningsOnceInOneBoxAfterAPassAndTheReminderOnce) {
    const std::string reload = "reload the schematic in KiCad";
    const std::vector<std::vector<Step>> cases = {
        // Start-up's warnings wait for the pass; the pass adds its own and
        // writes: one box, the reminder at its end.
        {{true, {{"pages 2 and 3 share number 2"}, 0, reload}, {}},
         {false,
          {{"pages 2 and 3 share number 2", "\"SDA\" left without a text"}, 7, reload},
          {{"Warning",
            "pages 2 and 3 share number 2\r\"SDA\" left without a text\r\r7 files written. Reload the schematic in "
            "KiCad to see the change.",
            Icon::Warning}}},
         // Nothing new, files written again: no second reminder, no box.
         {false, {{"pages 2 and 3 share number 2"}, 7, reload}, {}}},
        // No warnings: the reminder alone, once; nothing when nothing was written.
        {{true, {{}, 0, reload}, {}},
         {false, {{}, 0, reload}, {}},
         {false,
          {{}, 1, reload},
          {{"Information", "1 file written. Reload the schematic in KiCad to see the change.", Icon::Information}}},
         {false, {{}, 1, reload}, {}}},
        // A storage that asks nothing after a write: warnings only.
        {{true, {{}, 0, ""}, {}}, {false, {{}, 1, ""}, {}}, {false, {{"a"}, 1, ""}, {{"Warning", "a", Icon::Warning}}}},
    };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        RecordingPlatform platform;
        orlune::Run run(platform);
        ui::WindowFeedback feedback;
        for (std::size_t s = 0; s < cases[c].size(); ++s) {
            const Step& step = cases[c][s];
            platform.boxes.clear();
            if (step.startUp)
                feedback.afterStartUp(step.news);
            else
                feedback.afterPass(run, step.news);
            ASSERT_EQ(platform.boxes.size(), step.boxes.size()) << "case " << c << " step " << s;
            for (std::size_t b = 0; b < step.boxes.size(); ++b) {
                EXPECT_EQ(platform.boxes[b].title, step.boxes[b].title) << "case " << c << " step " << s;
                EXPECT_EQ(platform.boxes[b].text, step.boxes[b].text) << "case " << c << " step " << s;
                EXPECT_EQ(platform.boxes[b].icon, step.boxes[b].icon) << "case " << c << " step " << s;
            }
        }
    }
}

}  // namespace
}  // namespace orlune::test
