// What the report and verify share: the design as it stands in its file, an
// update pass on a copy in memory, and each connector's text then and now.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/backend.h"
#include "host/design.h"

namespace orlune {
struct Run;
}

namespace orlune::app {

// Reads a design file without a conversation: no lock, nothing written.
// Null, with the host's one-line reason, when the host would refuse it.
// `notes`, when given, gets what the backend knows beyond the model.
std::unique_ptr<host::Design> readDesignAsIs(const std::string& path, std::string& reason,
                                             host::DesignNotes* notes = nullptr);

// The bus search of the update pass on a design as it stands: the first
// vertical bus on the pin's sheet with an end at the pin's height, at most
// `busDistance` away on the text's side. Null when there is none.
const host::Item* findConnectorBus(const host::Design& design, const host::Pin& pin, bool flipped, int32_t busDistance);
// The pass's fixed bus distance in database units for a unit code; 0 for
// a unit the program does not know.
int32_t busDistanceForUnits(int32_t units);

enum class ConnectorState {
    Current,       // the text Update would place stands at its point
    Stale,         // a different own text stands there, its own text stands elsewhere, or Update would remove it
    Missing,       // Update would place a text; none stands there
    TooLong,       // Update would place "@@" and "@@" stands there
    NoOtherSheet,  // the signal has pins on no other sheet: no text
    NoBus,         // a bus connector without its bus beside it: no text
    NotPlaced,     // Update would place nothing although the signal reaches other sheets
    NotReached,    // the update pass ends early before this connector
    // A label of a file shown on several pages whose lists differ: no text
    // where the file cannot hold per-page values, else the value on this
    // page is the one Update would leave.
    DiffersPerPage,
};
std::string_view stateName(ConnectorState state);
// True for the states in which the connector's text is what Update leaves.
bool stateAgrees(ConnectorState state);

// An own text (beginning with "@") of the design as it stands.
struct OwnText {
    int32_t sheet = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t justification = 0;
    int32_t style = 0;
    std::string text;  // UTF-8
    // How it stands on the printed page, where the storage checks that
    // ("free", "off the sheet", "over C44"); else empty.
    std::string layout;
};

struct ConnectorLine {
    std::string refDes;  // UTF-8, as in the file
    int32_t sheet = 0;
    int32_t net = 0;      // of the first pin; 0: unconnected
    std::string netName;  // empty for a bus connector or an unconnected pin
    bool busConnector = false;
    std::optional<std::string> bus;  // the bus found beside a bus connector
    bool moreRows = false;
    std::vector<int32_t> sheets;  // what Update would list
    // Where the pass puts the connector's text; none when that point lies
    // outside the design's coordinates.
    bool hasPoint = false;
    int32_t x = 0;
    int32_t y = 0;
    int32_t justification = 0;
    std::optional<OwnText> now;           // the own text standing at that point
    std::optional<std::string> expected;  // what Update would place there (UTF-8)
    int32_t expectedStyle = 0;
    ConnectorState state = ConnectorState::Current;
    std::optional<host::ConnectorNote> note;  // how the user names it, where the backend says
};

struct ConnectorAnalysis {
    std::vector<ConnectorLine> connectors;  // in the order of the component walk
    std::vector<OwnText> strays;            // own texts beside no connector
    bool passEndsEarly = false;
    bool noted = false;                           // the backend names the connectors (a KiCad project)
    std::vector<host::ForeignText> foreignTexts;  // "@" texts a user wrote: left alone
    bool layoutChecked = false;                   // the storage says how its texts print
};

// Runs start-up and the update pass on a copy in memory (message boxes to
// `err` as the command line writes them), then compares with the design as
// it stands. Answers 0, or 3 when the program ended (the reason written).
int analyseDesign(const std::string& path, std::ostream& err, ConnectorAnalysis& analysis);

// The comparison alone: the design as it stands against the run after its
// update pass (its placed texts, settings and style in force).
ConnectorAnalysis compareWithPass(const host::Design& design, const Run& run, const host::DesignNotes& notes = {});

// One label of a file shown on several pages gets one text for all of
// them. Where the pass's lists differ per page, the file holds per-page
// values (each page's text is then the value there: "differs per page"
// when it is current) or, where it cannot, no text at all ("differs per
// page" when none stands, else "stale": Update would remove it).
void settleReusedLabels(ConnectorAnalysis& analysis);

// A position in database units as millimetres (0.01 um each), without
// trailing zeros: 1270000 is "12.7".
std::string millimetres(int32_t databaseUnits);

// A text for one line of output: CR LF as \n and so on, in double quotes.
std::string quotedText(std::string_view utf8);

}  // namespace orlune::app
