// Everything one run of the program keeps: the connection, the DBX records
// (one instance of each, shared by every pass, because placement relies on
// fields that earlier calls left in them), the settings, the connector in
// hand, its sheet list, the counts and the page state. One object per run,
// passed by reference, so tests stay isolated.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dbx/connection.h"
#include "dbx/platform.h"
#include "dbx/records.h"
#include "run/form_model.h"

namespace orlune {

// A connector text that the update pass left in the design (the sheet list,
// or "@@" where the host refused it). Kept for the command line's listing and
// for checking the design against what an update would place.
struct PlacedText {
    int32_t component = -1;  // position of the connector in the component walk
    std::string refDes;
    int32_t layerId = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t justification = 0;
    std::string text;
    std::vector<int32_t> sheets;  // the sheets the pass listed, ascending
};

inline constexpr int kSheetListSize = 100;

// The parts of a run, each named for what it holds, so that a procedure's
// first lines show which parts it reads and writes (run.records.ItemRec,
// run.settings.LeftStart).
struct Run {
    explicit Run(Platform& p) : platform(p) {}
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The DBX records: one instance each, zero-filled at start.
    struct Records {
        dbx::ItemRecord ItemRec{};
        dbx::ComponentRecord ComponentRec{};
        dbx::PinRecord PinRec{};
        dbx::SymbolRecord SymbolRec{};
        dbx::NetRecord NetRec{};
        dbx::BusRecord BusRec{};
        dbx::LayerRecord LayerRec{};
        dbx::TextRecord TextRec{};
        dbx::TextStyleRecord TextStyleRec{};
        dbx::AttributeRecord AttributeRec{};
        dbx::DesignInfoRecord DesignInfoRec{};
    };

    // Units and settings: the tables as text (index 1..4 by unit code; 0
    // unused), their values in database units, the reading of the settings
    // attribute and the state of the settings page.
    struct Settings {
        int16_t UnitCode = 0;
        std::array<std::string, 5> UnitNames;
        std::array<std::string, 5> LeftStartByUnit;
        std::array<std::string, 5> RightStartByUnit;
        std::array<std::string, 5> MaxRowByUnit;
        std::array<std::string, 5> BusDistanceByUnit;
        int32_t LeftStart = 0;
        int32_t RightStart = 0;
        int32_t MaxRowLength = 0;
        int32_t BusDistance = 0;
        // Lists write runs of three or more consecutive sheets as "3-7".
        bool Ranges = false;
        dbx::Pair DesignExtent{};

        // Reading of the settings attribute.
        std::string FieldValue;  // the value being read
        int32_t FieldPos = 0;
        std::string FieldText;

        // Settings page.
        int32_t StyleIndex = 0;
        int32_t SavedStyleIndex = 0;
        bool SettingsChanged = false;
        bool SettingsLoaded = false;
    };

    // The connector in hand.
    struct Connector {
        std::string CurrentRefDes;  // trimmed; passed with its NUL
        std::string ConnectorTypeName;
        int32_t ConnectorX = 0;
        int32_t ConnectorY = 0;
        int32_t ConnectorSheet = 0;
        int32_t ConnectorNet = 0;
        int32_t ConnectorFlipped = 0;
        int32_t NodeSheet = 0;
        int32_t ShTypeFound = 0;
    };

    // The sheet list of the connector in hand, its text and the measuring of
    // that text, and the texts the last update pass placed.
    struct SheetLists {
        // Whole sheet numbers: one-byte entries would misfile sheets above 255.
        std::array<int32_t, kSheetListSize> SheetList{};
        int32_t ListCount = 0;
        int32_t WidthAt = 0;
        int32_t WidthOneDigit = 0;
        int32_t WidthTwoDigits = 0;
        int32_t WidthDigitDash = 0;  // "2-" as "2," is measured: the first number of a run
        std::string SheetText;
        int32_t MeasuredWidth = 0;
        std::vector<PlacedText> PlacedTexts;  // of the last update pass
        bool PassEndedEarly = false;          // the last update pass hit a too-short row
    };

    // Counts: the design's sheets, what the update pass did, and what the
    // utilities and the status page found.
    struct Counts {
        int32_t SheetCount = 0;
        int32_t AssignedCount = 0;
        int32_t TooLongCount = 0;
        int32_t ConnectorFound = 0;
        int32_t ShTypeMissing = 0;
        int32_t HighlightedFound = 0;
        int32_t OneRowCount = 0;
        int32_t MoreRowsCount = 0;
        int32_t NoShTypeCount = 0;
    };

    // Which page shows and which button gets the focus back (page_state.h).
    struct Page {
        uint8_t FocusButton = 0;
        uint8_t ActivePage = 0;
    };

    Platform& platform;
    ui::FormModel form;  // the window's controls
    dbx::Connection connection;
    Records records;
    Settings settings;
    Connector connector;
    SheetLists list;
    Counts counts;
    Page page;
};

}  // namespace orlune
