// A KiCad project as ORLUNE sees it: pages become sheets by page number,
// global and hierarchical labels per sheet instance become sheet connectors
// (bus labels bus connectors), symbols become components with their units
// merged, and the texts ORLUNE placed earlier become text items. Pure: the
// project and its connectivity in, the design and where each part of it
// came from out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/design.h"
#include "host/kicad/connectivity.h"
#include "host/kicad/project.h"
#include "host/kicad/text_node.h"

namespace orlune::kicad {

// Where a component came from: a sheet connector names its label, any other
// component the symbol pin of each of its pins (indexes into the
// connectivity input).
struct ComponentOrigin {
    int instance = -1;  // sheet connectors: the sheet instance and the label of its file
    int label = -1;
    std::vector<PinRef> pins;  // other components: one per pin, in pin order
};

// Where an item came from: a text of a file on one sheet instance, or the
// bus drawn for a bus connector (component index).
struct ItemOrigin {
    int instance = -1;
    int text = -1;       // index into the file's texts
    int connector = -1;  // bus items: the bus connector's component
};

struct DesignView {
    host::Design design;
    std::vector<ComponentOrigin> components;  // parallel to design.components
    std::vector<ItemOrigin> items;            // parallel to design.items
    std::vector<sch::TextSize> styleSizes;    // the KiCad size of each text style
    std::vector<std::string> warnings;        // the mapping's; the project's own are in sch::Project::warnings
};

// Type names of the sheet connectors; those of bus connectors begin with
// "SH_BUS_", which is how the update pass tells them apart.
inline constexpr const char* kGlobalConnectorType = "SH_GLOBAL";
inline constexpr const char* kHierConnectorType = "SH_HIER";
inline constexpr const char* kGlobalBusConnectorType = "SH_BUS_GLOBAL";
inline constexpr const char* kHierBusConnectorType = "SH_BUS_HIER";

// `result` may be empty (no connectivity computed): every pin is then on
// net 0 and a label is a bus when its text reads as one.
//
// A sheet connector's pin lies where its label body ends, flipped (text to
// the right of the pin) unless the body points left, so that the pass puts
// the text beyond the label. A vertical label's pin lies at its end above or
// below; the pass's horizontal text is for the writer to turn (placedFor). Each bus connector
// gets a one-point bus item of its own at its pin, and bus connectors at one
// height on one sheet are moved apart by a few database units, so that the
// pass's bus search (first vertical bus item with an end at the pin's y)
// finds exactly the connector's own bus. Texts ORLUNE placed earlier
// (content and derived uuid) become items where the pass would have put
// them, a per-instance text with the value it shows on each page; a user's
// "@" text is no item (the pass would delete it) but a warning.
DesignView toDesign(const sch::Project& project, const ConnectivityInput& input, const ConnectivityResult& result);

// The KiCad text for the pass's text `item` beside the label of `connector`
// (its pin the label's body end): vertical labels get it turned like them,
// the same distance past their end; rows are centred on the pass's point.
TextParams placedFor(const host::Item& item, const host::Component& connector, const sch::Label& label,
                     const sch::TextSize& size, int32_t styleHeight);

// How far KiCad's label body reaches from its anchor along its spin, in
// internal units: ORLUNE's text goes beyond that end, never on the label.
int32_t labelBodyLength(const sch::Label& label, const sch::DrawingSettings& drawing);

// KiCad's escape starting at byte `i` of a stored name ("{slash}" and the
// like): the character it stands for and the escape's length; {0, 0} where
// none starts there.
std::pair<char, size_t> escapeAt(std::string_view stored, size_t i);
// A stored name as KiCad shows it: every escape as its character.
std::string shownName(std::string_view stored);

// Advance of a character in KiCad's stroke font for text width `width`
// (internal units), rounded as KiCad 7+ round it.
int32_t strokeAdvance(char32_t c, int32_t width);
// The width of KiCad's box around one row of text in the stroke font
// (markup drawn as its content, the pen on both sides).
int32_t strokeTextWidth(const std::string& row, const sch::TextSize& size);

}  // namespace orlune::kicad
