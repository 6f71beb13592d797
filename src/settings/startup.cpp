#include "settings/startup.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "annotate/text_place.h"
#include "dbx/connection.h"
#include "dbx/dbx32.h"
#include "run/page_state.h"
#include "run/run.h"
#include "settings/settings_page.h"
#include "settings/units.h"

namespace orlune {

namespace {

constexpr const char* kAttributeName = "ORLUNE";
constexpr int32_t kMaxSheets = 100;
constexpr int32_t kStyleNumbers = 100;
// Each field of the stored value holds at most this many characters.
constexpr int32_t kFieldWidth = 10;
constexpr const char* kRangesOn = "1";

bool isOwnAttribute(const dbx::AttributeRecord& record) {
    return Trim_Nul(dbx::readField(record.name)) == kAttributeName;
}

// The design's unit code; one that does not fit 16 bits is no usable unit, so it becomes 0 (never a wrapped
// value that could pass for a real unit).
int16_t toUnitCode(int32_t value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) return 0;
    return static_cast<int16_t>(value);
}

// Finds the first attribute named "ORLUNE"; false when the walk ends first.
bool findOwnAttribute(Run& run) {
    run.connection.LastStatus = TGetFirstDesignAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    while (run.connection.LastStatus == dbx::kStatusOk) {
        if (isOwnAttribute(run.records.AttributeRec)) return true;
        run.connection.LastStatus = TGetNextDesignAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    }
    return false;
}

bool discard(Run& run) {
    run.connection.LastStatus = TDeleteDesignAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    return false;
}

// Reads the stored settings into the tables at UnitCode; true when loaded.
// An attribute that cannot be used is deleted.
bool readStoredSettings(Run& run) {
    if (!findOwnAttribute(run)) return false;

    run.settings.FieldValue = Trim_Nul(dbx::readField(run.records.AttributeRec.value));
    run.settings.FieldPos = 0;
    if (Next_Field(run) == 0) return discard(run);
    const double stored = Round_Even(Read_Number(run.settings.FieldText));
    if (!std::isfinite(stored) || stored < std::numeric_limits<int16_t>::min() ||
        stored > std::numeric_limits<int16_t>::max()) {
        return discard(run);
    }
    const int16_t storedUnit = static_cast<int16_t>(stored);
    if (!Check_Unit(storedUnit)) return discard(run);
    if (storedUnit != run.settings.UnitCode) {
        run.platform.messageBox("Changed units (selected DEFAULT)!!!", "Warning", Icon::Warning, Buttons::Ok);
        return discard(run);
    }

    if (Next_Field(run) == 0) return discard(run);
    run.settings.LeftStartByUnit[run.settings.UnitCode] = run.settings.FieldText;
    if (Next_Field(run) == 0) return discard(run);
    run.settings.RightStartByUnit[run.settings.UnitCode] = run.settings.FieldText;
    if (Next_Field(run) == 0) return discard(run);
    run.settings.MaxRowByUnit[run.settings.UnitCode] = run.settings.FieldText;
    // A later field, which older builds pass over: "1" when lists write
    // runs as ranges; none means off.
    run.settings.Ranges = Next_Field(run) != 0 && run.settings.FieldText == kRangesOn;
    return true;
}

std::string trimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

int Next_Field(Run& run) {
    run.settings.FieldText.clear();
    const int64_t limit = static_cast<int64_t>(run.settings.FieldPos) + kFieldWidth;
    for (;;) {
        if (run.settings.FieldPos < 0 ||
            static_cast<std::size_t>(run.settings.FieldPos) >= run.settings.FieldValue.size())
            return 0;
        const char c = run.settings.FieldValue[static_cast<std::size_t>(run.settings.FieldPos)];
        if (c == '_') {
            ++run.settings.FieldPos;
            run.settings.FieldText = Trim_Nul(run.settings.FieldText);
            return 1;
        }
        run.settings.FieldText += c;
        if (run.settings.FieldPos >= limit) return 0;
        ++run.settings.FieldPos;
    }
}

void Form_Load(Run& run) {
    run.settings.SettingsLoaded = false;
    run.settings.Ranges = false;

    run.form.at("Frame2").visible = false;
    run.form.at("Frame3").visible = false;
    Select_Tab(run, 0);

    En_DisableMainMenu(run, false);

    ui::Control& exitButton = run.form.at("Command3");
    exitButton.visible = true;
    exitButton.caption = "Wait";
    run.form.setFocus("Command3");
    run.form.refresh();

    Design_Open(run.connection, run.platform);

    run.settings.BusDistanceByUnit = {"", "350", "8.9", "", "0.35"};
    run.settings.UnitNames = {"", "mil", "mm", "0", "inch"};

    Count_Sheets(run);
    if (run.counts.SheetCount > kMaxSheets) {
        run.platform.messageBox("Number of sheets > 100 !!!", "Error", Icon::Error, Buttons::Ok);
        run.connection.LastStatus = TCloseDesign(&run.connection.DesignContext, "");
        run.connection.DesignOpen = false;
        run.platform.endProgram();
    }

    run.connection.LastStatus = TGetDesignInfo(&run.connection.DesignContext, &run.records.DesignInfoRec);
    run.settings.UnitCode = toUnitCode(run.records.DesignInfoRec.units);
    run.settings.DesignExtent = run.records.DesignInfoRec.workspaceExtent;

    if (!Check_Unit(run.settings.UnitCode)) {
        run.platform.messageBox("System errors concerning UNIT !!!", "Warning", Icon::Warning, Buttons::Ok);
    }

    if (!readStoredSettings(run)) Set_Defaults(run);
    // Stored texts that do not convert must not leave the distances at 0:
    // the warning has named them, and the defaults take over for this run.
    if (!Apply_Settings(run)) {
        Set_Defaults(run);
        Apply_Settings(run);
    }

    Create_combo(run);

    En_DisableMainMenu(run, true);
    run.page.ActivePage = kPageMain;
    exitButton.caption = "Exit";

    Design_Close(run.connection);

    run.settings.SettingsChanged = false;
    run.settings.SettingsLoaded = true;
}

void Create_combo(Run& run) {
    if (Locate_OwnText(run, 0) == 0) run.settings.StyleIndex = 0;

    ui::Control& list = run.form.at("cboTextStyle");
    list.items.clear();
    for (int32_t n = 0; n < kStyleNumbers; ++n) {
        run.connection.LastStatus = TGetTextStyle(&run.connection.DesignContext, n, &run.records.TextStyleRec);
        if (run.connection.LastStatus == dbx::kStatusOk) {
            list.items.emplace_back(dbx::readField(run.records.TextStyleRec.styleName),
                                    run.records.TextStyleRec.styleId);
        }
    }

    // A placed text may carry a style that the list does not have; the first
    // entry stands in, and StyleIndex follows what is shown.
    if (run.settings.StyleIndex < 0 || static_cast<std::size_t>(run.settings.StyleIndex) >= list.items.size())
        run.settings.StyleIndex = 0;
    if (list.items.empty()) {
        list.caption.clear();
        list.listIndex = -1;
    } else {
        list.caption = list.items[static_cast<std::size_t>(run.settings.StyleIndex)].first;
        list.listIndex = run.settings.StyleIndex;
    }

    const int slot = Unit_Slot(run.settings.UnitCode);
    run.form.at("Text1").caption = run.settings.LeftStartByUnit[slot];
    run.form.at("Text2").caption = run.settings.RightStartByUnit[slot];
    run.form.at("Text3").caption = run.settings.MaxRowByUnit[slot];
    for (int i = 0; i < 3; ++i)
        run.form.at("Label6", i).caption = run.settings.UnitNames[slot];
    run.form.at("Check1").checked = run.settings.Ranges;
}

void Command5_Click(Run& run) {
    const std::string& left = run.form.at("Text1").caption;
    const std::string& right = run.form.at("Text2").caption;
    const std::string& maxRow = run.form.at("Text3").caption;

    // Refuse before anything is stored: a "_" would shift the fields of the
    // stored value, and a text that does not convert could never be applied.
    std::string problem;
    // A text longer than the stored field would be thrown away, with the
    // other two, by the next start-up.
    for (const auto& [caption, text] : {std::pair{"Left side start", &left}, std::pair{"Right side start", &right},
                                        std::pair{"Max row lenght", &maxRow}}) {
        std::string why;
        if (text->find('_') != std::string::npos) {
            why = " must not contain \"_\": ";
        } else if (text->size() > static_cast<std::size_t>(kFieldWidth)) {
            why = " is longer than " + std::to_string(kFieldWidth) + " characters: ";
        } else {
            continue;
        }
        if (!problem.empty()) problem += '\r';
        problem += std::string(caption) + why + *text;
    }
    if (problem.empty()) problem = Check_Settings(run, Trim_Nul(left), Trim_Nul(right), Trim_Nul(maxRow));
    if (!problem.empty()) {
        run.platform.messageBox(problem, "Warning", Icon::Warning, Buttons::Ok);
        return;
    }

    const bool ranges = run.form.at("Check1").checked;
    // Off writes no field at all: the value stays as older builds wrote it.
    const std::string value = std::to_string(run.settings.UnitCode) + "_" + left + "_" + right + "_" + maxRow + "_" +
                              (ranges ? std::string(kRangesOn) + "_" : std::string());

    Design_Open(run.connection, run.platform);
    if (findOwnAttribute(run)) {
        dbx::writeField(run.records.AttributeRec.value, trimSpaces(value), false);
        run.records.AttributeRec.units = run.settings.UnitCode;
        run.connection.LastStatus = TModifyDesignAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    } else {
        dbx::writeField(run.records.AttributeRec.name, kAttributeName);
        dbx::writeField(run.records.AttributeRec.value, value);
        run.records.AttributeRec.attrFlag2 = 0;
        run.records.AttributeRec.units = run.settings.UnitCode;
        run.connection.LastStatus = TAddDesignAttribute(&run.connection.DesignContext, &run.records.AttributeRec);
    }
    Design_Close(run.connection);

    const int slot = Unit_Slot(run.settings.UnitCode);
    run.settings.LeftStartByUnit[slot] = Trim_Nul(left);
    run.settings.RightStartByUnit[slot] = Trim_Nul(right);
    run.settings.MaxRowByUnit[slot] = Trim_Nul(maxRow);
    run.settings.Ranges = ranges;
    Apply_Settings(run);
    run.settings.SettingsChanged = false;
}

}  // namespace orlune
