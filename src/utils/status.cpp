#include "utils/status.h"

#include <array>
#include <cstdint>
#include <string>

#include "annotate/text_place.h"
#include "dbx/connection.h"
#include "run/page_state.h"
#include "run/run.h"
#include "utils/connector_utils.h"

namespace orlune {

namespace {

constexpr int kBoxCount = 5;

// A number as the boxes show it: the sign position stays blank when the
// number is not negative.
std::string boxText(int32_t count) {
    std::string digits = std::to_string(count);
    return count < 0 ? digits : " " + digits;
}

}  // namespace

void Command_Status(Run& run) {
    run.page.FocusButton = kFocusStatusOk;
    run.form.at("Command9").caption = "Wait";
    run.counts.OneRowCount = 0;
    run.counts.MoreRowsCount = 0;
    run.counts.NoShTypeCount = 0;
    run.counts.AssignedCount = 0;
    run.counts.TooLongCount = 0;
    for (int i = 0; i < kBoxCount; ++i)
        run.form.at("Text4", i).visible = false;
    run.form.at("Frame3").visible = true;
    run.form.setFocus("Command9");
    run.form.refresh();

    Design_Open(run.connection, run.platform);
    Run_Utility(run, kUtilCount);
    Count_OwnTexts(run);
    Design_Close(run.connection);

    const std::array<int32_t, kBoxCount> counts = {run.counts.OneRowCount, run.counts.MoreRowsCount,
                                                   run.counts.NoShTypeCount, run.counts.AssignedCount,
                                                   run.counts.TooLongCount};
    for (int i = 0; i < kBoxCount; ++i)
        run.form.at("Text4", i).caption = boxText(counts[static_cast<std::size_t>(i)]);
    for (int i = 0; i < kBoxCount; ++i)
        run.form.at("Text4", i).visible = true;
    run.form.at("Command9").caption = "Ok";
    // The page's Ok may have been clicked while the counts were taken; the
    // focus then already sits on the main page and must stay there.
    if (run.form.at("Frame3").visible) {
        run.form.setFocus("Command9");
        run.page.FocusButton = kFocusStatusOk;
    }
}

}  // namespace orlune
