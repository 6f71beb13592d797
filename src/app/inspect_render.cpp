// `orlune render`: one SVG picture per sheet and an index page.
//
// The pictures use the design's own coordinates scaled by 1/1000: one SVG
// unit is 1000 database units (10 µm), written exactly as a decimal, so a
// reader (or a test) finds every point where the design puts it, while font
// sizes stay small enough for every renderer. SVG's y grows downward; a
// design whose y grows upward (the design file's, as in its editor) has
// every y written negated (SVG y = -design y / 1000), one whose y grows
// downward (as the backend's notes say) keeps it, so that the picture reads
// like the editor's view either way.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "app/design_run.h"
#include "app/inspect.h"
#include "app/inspect_connectors.h"
#include "app/inspect_svg.h"
#include "host/backend.h"
#include "host/design.h"
#include "host/save.h"
#include "host/text_extent.h"
#include "host/utf8.h"

namespace orlune::app {

namespace {

constexpr int64_t kMil = 2540;
constexpr int32_t kJustifyLeft = 6;
constexpr int kPictureSize = 1600;  // pixels along the longer side

// Bounds of the drawing in design units.
struct Extent {
    int64_t x1 = std::numeric_limits<int64_t>::max();
    int64_t y1 = std::numeric_limits<int64_t>::max();
    int64_t x2 = std::numeric_limits<int64_t>::min();
    int64_t y2 = std::numeric_limits<int64_t>::min();
    void add(int64_t x, int64_t y) {
        x1 = std::min(x1, x);
        y1 = std::min(y1, y);
        x2 = std::max(x2, x);
        y2 = std::max(y2, y);
    }
    bool empty() const { return x1 > x2; }
};

// The colours of the highlight codes: the classic sixteen, except that the
// light ones that vanish on white paper are drawn darker.
std::string_view highlightColour(int32_t code) {
    static constexpr std::string_view kPalette[] = {
        "#000000", "#000080", "#008000", "#008080", "#800000", "#800080", "#808000", "#a0a0a0",
        "#606060", "#0000ff", "#00c000", "#00b0b0", "#ff0000", "#ff00ff", "#d0b000", "#ff8c00",
    };
    return kPalette[static_cast<std::size_t>(code) % std::size(kPalette)];
}

// A length or coordinate in SVG units: database units / 1000, exactly.
std::string num(int64_t v) {
    const bool negative = v < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 1000);
    uint64_t fraction = magnitude % 1000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 3 - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}
struct Row {
    std::string_view text;
    int64_t width = 0;
};

// Rows end at CR LF, a lone CR or a lone LF, as the host measures them.
std::vector<Row> splitRows(std::string_view text, const host::TextStyle* style) {
    std::vector<Row> rows;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
        const std::string_view row = text.substr(start, i - start);
        rows.push_back({row, host::measureText(row, style).width});
        if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return rows;
}

class SheetPicture {
public:
    // `items`: the design's items on this sheet, in array order.
    SheetPicture(const host::Design& design, const host::Sheet& sheet, const std::vector<const host::Item*>& items,
                 const std::set<int32_t>& sheetIds, const host::DesignNotes& notes)
        : design_(design), sheet_(sheet), items_(items), sheetIds_(sheetIds), notes_(notes) {
        for (const host::Net& net : design.nets)
            netNames_.emplace(net.id, &net.name);
        for (const host::TextStyle& style : design.textStyles)
            styles_.emplace(style.number, &style);
    }

    std::string render() {
        Extent extent;
        extent.add(0, 0);
        extent.add(design_.workspaceX, design_.workspaceY);
        body_.reserve(1 << 18);

        for (const host::Item* item : items_) {
            if (item->type == host::ItemType::Line) segment(*item, "line", extent);
        }
        for (const host::Item* item : items_) {
            if (item->type == host::ItemType::Wire) segment(*item, "wire", extent);
        }
        for (const host::Item* item : items_) {
            if (item->type != host::ItemType::Bus) continue;
            segment(*item, "bus", extent);
            busName(*item);
        }
        for (std::size_t c = 0; c < design_.components.size(); ++c)
            drawComponent(c, extent);
        for (const host::Item* item : items_) {
            if (item->type == host::ItemType::Text) drawText(*item, extent);
        }

        // A margin around everything, so that strokes at the edge show.
        const int64_t margin = std::max<int64_t>(200 * kMil, (extent.x2 - extent.x1) / 50);
        const int64_t x1 = extent.x1 - margin;
        const int64_t x2 = extent.x2 + margin;
        const int64_t y1 = extent.y1 - margin;
        const int64_t y2 = extent.y2 + margin;
        const int64_t w = x2 - x1;
        const int64_t h = y2 - y1;
        const double scale = static_cast<double>(kPictureSize) / static_cast<double>(std::max(w, h));

        std::string svg;
        svg.reserve(body_.size() + 4096);
        svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\"";
        svg += " viewBox=\"" + num(x1) + ' ' + top(y1, y2) + ' ' + num(w) + ' ' + num(h) + '"';
        // Pixels: the longer side kPictureSize, the other in proportion.
        const auto pixels = [&](int64_t length) {
            return std::to_string(std::max<int64_t>(1, std::llround(static_cast<double>(length) * scale)));
        };
        svg += " width=\"" + pixels(w) + "\" height=\"" + pixels(h) + "\"";
        svg += " data-sheet=\"" + std::to_string(sheet_.id) + "\">\n";
        svg += "<title>" + xmlEscape("Sheet " + std::to_string(sheet_.id) + ": " + sheet_.name) + "</title>\n";
        svg += notes_.yDown ? "<desc>One unit is 1000 database units; y as in the design (it grows downward).</desc>\n"
                            : "<desc>One unit is 1000 database units; y is negated (design y grows upward).</desc>\n";
        svg += style();
        svg += "<rect class=\"paper\" x=\"" + num(x1) + "\" y=\"" + top(y1, y2) + "\" width=\"" + num(w) +
               "\" height=\"" + num(h) + "\"/>\n";
        svg += "<rect class=\"frame\" x=\"0\" y=\"" + top(0, design_.workspaceY) + "\" width=\"" +
               num(design_.workspaceX) + "\" height=\"" + num(design_.workspaceY) + "\"/>\n";
        svg += body_;
        svg += "</svg>\n";
        return svg;
    }

private:
    // SVG y of a design y, as a number and written.
    int64_t svgY(int64_t y) const { return notes_.yDown ? y : -y; }
    std::string sy(int64_t y) const { return num(svgY(y)); }
    // The upper edge, in SVG, of the span from y1 to y2.
    std::string top(int64_t y1, int64_t y2) const { return num(std::min(svgY(y1), svgY(y2))); }
    // `distance` further up the page than y.
    int64_t up(int64_t y, int64_t distance) const { return notes_.yDown ? y - distance : y + distance; }
    std::string shown(const std::string& stored) const { return notes_.shownName ? notes_.shownName(stored) : stored; }

    static std::string style() {
        // Sizes in database units: 2540 to the mil.
        return "<style>\n"
               ".paper{fill:#ffffff}\n"
               ".frame{fill:none;stroke:#909090;stroke-width:25.4}\n"
               ".line{stroke:#707070;stroke-width:12.7}\n"
               ".wire{stroke:#1a7f37;stroke-width:20.32;stroke-linecap:round}\n"
               ".bus{stroke:#1f4fbf;stroke-width:63.5;stroke-linecap:round}\n"
               ".busname{fill:#1f4fbf;font:italic 152.4px "
               "sans-serif;paint-order:stroke;stroke:#ffffff;stroke-width:40}\n"
               ".part{fill:#fff8e0;stroke:#8a5a00;stroke-width:15.24}\n"
               ".pin{fill:#8a5a00}\n"
               ".refdes{fill:#8a5a00;font:152.4px sans-serif}\n"
               ".connector{fill:#e6eeff;stroke:#1f4fbf;stroke-width:15.24}\n"
               ".conname{fill:#1f4fbf;font:127px sans-serif}\n"
               ".highlight{stroke-width:38.1}\n"
               ".selected{fill:none;stroke:#0078d7;stroke-width:20.32;stroke-dasharray:76.2 38.1}\n"
               ".extent{fill:none;stroke:#c8c8c8;stroke-width:5.08;stroke-dasharray:25.4 25.4}\n"
               ".text{font-family:monospace;fill:#202020;white-space:pre}\n"
               ".own .extent{fill:#ffeaea;stroke:#c00000;stroke-dasharray:none}\n"
               ".own text{fill:#c00000;font-weight:bold}\n"
               ".own a text,.own a tspan{text-decoration:underline}\n"
               ".refused .extent{fill:#fff2cc;stroke:#d08000;stroke-width:15.24;stroke-dasharray:25.4 12.7}\n"
               ".refused text{fill:#a05000;text-decoration:line-through}\n"
               "</style>\n";
    }

    void segment(const host::Item& item, std::string_view cls, Extent& extent) {
        extent.add(item.x1, item.y1);
        extent.add(item.x2, item.y2);
        body_ += "<line class=\"";
        body_ += cls;
        body_ += "\" x1=\"" + num(item.x1) + "\" y1=\"" + sy(item.y1) + "\" x2=\"" + num(item.x2) + "\" y2=\"" +
                 sy(item.y2) + "\"";
        if (item.type == host::ItemType::Wire && item.net != 0) {
            auto it = netNames_.find(item.net);
            if (it != netNames_.end()) body_ += " data-net=\"" + xmlEscape(*it->second) + "\"";
        }
        body_ += "/>\n";
        if (item.selected) {
            body_ += "<line class=\"selected\" x1=\"" + num(item.x1) + "\" y1=\"" + sy(item.y1) + "\" x2=\"" +
                     num(item.x2) + "\" y2=\"" + sy(item.y2) + "\"/>\n";
        }
    }

    void busName(const host::Item& bus) {
        // Along the line at its middle, clear of the connectors at its ends.
        const int64_t mx = (int64_t{bus.x1} + bus.x2) / 2;
        const int64_t my = (int64_t{bus.y1} + bus.y2) / 2;
        body_ += "<text class=\"busname\" text-anchor=\"middle\" ";
        if (bus.x1 == bus.x2) {
            const int64_t x = mx - 50 * kMil;
            body_ +=
                "x=\"" + num(x) + "\" y=\"" + sy(my) + "\" transform=\"rotate(-90 " + num(x) + ' ' + sy(my) + ")\"";
        } else {
            body_ += "x=\"" + num(mx) + "\" y=\"" + sy(up(my, 50 * kMil)) + "\"";
        }
        body_ += ">" + xmlEscape(shown(bus.bus)) + "</text>\n";
    }

    void drawComponent(std::size_t index, Extent& extent) {
        const host::Component& component = design_.components[index];
        const bool symbolHere = component.symbol.sheet == sheet_.id;
        // Pins of a part whose symbol lies on another sheet still show.
        if (!symbolHere) {
            for (const host::Pin& pin : component.pins) {
                if (pin.sheet == sheet_.id) pinDot(pin, extent);
            }
            return;
        }
        if (component.kind == 2) {
            drawConnector(index, extent);
            return;
        }
        Extent box;
        box.add(component.symbol.x, component.symbol.y);
        for (const host::Pin& pin : component.pins) {
            if (pin.sheet == sheet_.id) box.add(pin.x, pin.y);
        }
        const int64_t pad = 40 * kMil;
        const int64_t x1 = box.x1 - pad;
        const int64_t x2 = box.x2 + pad;
        const int64_t y1 = box.y1 - pad;
        const int64_t y2 = box.y2 + pad;
        const int64_t upper = notes_.yDown ? y1 : y2;  // the edge nearer the page's top
        extent.add(x1, y1);
        extent.add(x2, y2);
        extent.add(x2, up(upper, 200 * kMil));  // room for the reference above
        body_ += "<g class=\"component\" data-refdes=\"" + xmlEscape(component.refDes) + "\">";
        body_ += "<title>" + xmlEscape(component.refDes + " " + component.type) + "</title>";
        body_ += "<rect class=\"part";
        if (component.symbol.highlight != 0) body_ += " highlight";
        body_ += "\" x=\"" + num(x1) + "\" y=\"" + top(y1, y2) + "\" width=\"" + num(x2 - x1) + "\" height=\"" +
                 num(y2 - y1) + "\"" + highlightStyle(component.symbol.highlight) + "/>";
        for (const host::Pin& pin : component.pins) {
            if (pin.sheet == sheet_.id) pinDot(pin, extent);
        }
        body_ += "<text class=\"refdes\" x=\"" + num(x1) + "\" y=\"" + sy(up(upper, 30 * kMil)) + "\">" +
                 xmlEscape(component.refDes) + "</text>";
        body_ += "</g>\n";
        if (component.symbol.selected) selection(x1, y1, x2, y2);
    }

    void drawConnector(std::size_t index, Extent& extent) {
        const host::Component& component = design_.components[index];
        const host::ConnectorNote* note =
            index < notes_.connectors.size() && notes_.connectors[index] ? &*notes_.connectors[index] : nullptr;
        const host::Pin* pin = component.pins.empty() ? nullptr : &component.pins.front();
        const bool pinHere = pin && pin->sheet == sheet_.id;
        const int64_t px = pinHere ? pin->x : component.symbol.x;
        const int64_t py = pinHere ? pin->y : component.symbol.y;
        // The flag points the way the connector's text goes: left unless flipped.
        const int64_t dir = component.symbol.flipped ? 1 : -1;
        const int64_t length = 100 * kMil;
        const int64_t half = 40 * kMil;
        const int64_t tipX = px + dir * length;
        const int64_t shoulderX = tipX - dir * half;
        extent.add(px, py - half);
        extent.add(tipX, py + half);

        std::string name;
        if (pinHere) {
            if (component.type.starts_with("SH_BUS_")) {
                const host::Item* bus =
                    findConnectorBus(design_, *pin, component.symbol.flipped, busDistanceForUnits(design_.units));
                name = bus ? bus->bus : "(no bus)";
            } else if (auto it = netNames_.find(pin->net); pin->net != 0 && it != netNames_.end()) {
                name = *it->second;
            }
        }
        name = shown(name);
        // Named as its user names it where the backend says (a label's
        // text and page), else by reference and type.
        const std::string label = note ? shown(note->label) : component.refDes;
        const std::string title =
            note ? label + " on page " + note->page + (name.empty() || name == label ? "" : ", signal " + name)
                 : component.refDes + " " + component.type + (name.empty() ? "" : " " + name);
        body_ += "<g class=\"sheet-connector\" data-refdes=\"" + xmlEscape(component.refDes) + "\">";
        body_ += "<title>" + xmlEscape(title) + "</title>";
        body_ += "<polygon class=\"connector";
        if (component.symbol.highlight != 0) body_ += " highlight";
        body_ += "\" points=\"" + num(px) + ',' + sy(py + half) + ' ' + num(shoulderX) + ',' + sy(py + half) + ' ' +
                 num(tipX) + ',' + sy(py) + ' ' + num(shoulderX) + ',' + sy(py - half) + ' ' + num(px) + ',' +
                 sy(py - half) + "\"" + highlightStyle(component.symbol.highlight) + "/>";
        // The name goes on the wire's side, above it, clear of the text.
        body_ += "<text class=\"conname\" x=\"" + num(px - dir * 20 * kMil) + "\" y=\"" + sy(up(py, 60 * kMil)) +
                 "\" text-anchor=\"" + (dir < 0 ? "start" : "end") + "\">" +
                 xmlEscape(note ? label : component.refDes + (name.empty() ? "" : " " + name)) + "</text>";
        body_ += "</g>\n";
        if (component.symbol.selected) {
            selection(std::min(px, tipX) - 20 * kMil, py - half - 20 * kMil, std::max(px, tipX) + 20 * kMil,
                      py + half + 20 * kMil);
        }
    }

    static std::string highlightStyle(int32_t code) {
        if (code == 0) return {};
        const std::string colour(highlightColour(code));
        return " style=\"fill:" + colour + ";fill-opacity:0.45;stroke:" + colour + "\" data-highlight=\"" +
               std::to_string(code) + "\"";
    }

    void pinDot(const host::Pin& pin, Extent& extent) {
        extent.add(pin.x, pin.y);
        body_ +=
            "<circle class=\"pin\" cx=\"" + num(pin.x) + "\" cy=\"" + sy(pin.y) + "\" r=\"" + num(12 * kMil) + "\"/>";
    }

    void selection(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        body_ += "<rect class=\"selected\" x=\"" + num(x1) + "\" y=\"" + top(y1, y2) + "\" width=\"" + num(x2 - x1) +
                 "\" height=\"" + num(y2 - y1) + "\"/>\n";
    }

    const host::TextStyle* styleOf(const host::Item& item) const {
        auto it = styles_.find(item.style);
        if (it != styles_.end()) return it->second;
        return design_.textStyles.empty() ? nullptr : &design_.textStyles.front();
    }

    // An own text's row with every sheet number that names a sheet of the
    // design made a link to that sheet's picture.
    std::string linkedRow(std::string_view row) const {
        std::string out;
        std::size_t i = 0;
        while (i < row.size()) {
            if (row[i] >= '0' && row[i] <= '9') {
                std::size_t j = i;
                while (j < row.size() && row[j] >= '0' && row[j] <= '9')
                    ++j;
                const std::string_view digits = row.substr(i, j - i);
                int64_t value = 0;
                for (char c : digits.substr(0, 10))
                    value = value * 10 + (c - '0');
                if (digits.size() <= 10 && value <= std::numeric_limits<int32_t>::max() &&
                    sheetIds_.count(static_cast<int32_t>(value))) {
                    const std::string target = "sheet-" + std::to_string(value) + ".svg";
                    out += "<a href=\"" + target + "\" xlink:href=\"" + target + "\" target=\"_top\"><tspan>";
                    out += digits;
                    out += "</tspan></a>";
                } else {
                    out += digits;
                }
                i = j;
            } else {
                std::size_t j = i;
                while (j < row.size() && !(row[j] >= '0' && row[j] <= '9'))
                    ++j;
                out += xmlEscape(row.substr(i, j - i));
                i = j;
            }
        }
        return out;
    }

    void drawText(const host::Item& item, Extent& extent) {
        const host::TextStyle* style = styleOf(item);
        const host::TextExtent size = host::measureText(item.text, style);
        const dbx::Box box = host::textBounds(item.x, item.y, item.justification, size);
        extent.add(box.x1, box.y1);
        extent.add(box.x2, box.y2);
        const bool own = !item.text.empty() && item.text[0] == '@';
        const bool refused = own && item.text.size() > 1 && item.text[1] == '@';
        const char* kind = refused ? "refused" : own ? "own" : "user";

        body_ += "<g class=\"text-item ";
        body_ += kind;
        // The design's own values, for readers that want them exactly.
        body_ += "\" data-x=\"" + std::to_string(item.x) + "\" data-y=\"" + std::to_string(item.y) +
                 "\" data-justification=\"" + std::to_string(item.justification) + "\">";
        if (refused) body_ += "<title>Refused by the host: the sheet list is too long for one text</title>";
        body_ += "<rect class=\"extent\" x=\"" + num(box.x1) + "\" y=\"" + top(box.y1, box.y2) + "\" width=\"" +
                 num(int64_t{box.x2} - box.x1) + "\" height=\"" + num(int64_t{box.y2} - box.y1) + "\"/>";

        const std::vector<Row> rows = splitRows(item.text, style);
        const int64_t rowHeight = style ? style->height : 1;
        const bool toTheLeft = item.justification == kJustifyLeft;
        const int64_t anchorX = toTheLeft ? box.x2 : box.x1;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (rows[r].text.empty()) continue;
            // Rows from the box's upper edge down, each baseline a fifth of
            // a row above the row's lower edge; the glyphs are stretched to
            // the width the style gives the row.
            const int64_t baseline =
                std::min(svgY(box.y1), svgY(box.y2)) + static_cast<int64_t>(r + 1) * rowHeight - rowHeight / 5;
            body_ += "<text class=\"text\" x=\"" + num(anchorX) + "\" y=\"" + num(baseline) + "\" font-size=\"" +
                     num(rowHeight * 4 / 5) + "\"";
            if (toTheLeft) body_ += " text-anchor=\"end\"";
            if (rows[r].width > 0)
                body_ += " textLength=\"" + num(rows[r].width) + "\" lengthAdjust=\"spacingAndGlyphs\"";
            body_ += ">";
            body_ += own && !refused ? linkedRow(rows[r].text) : xmlEscape(rows[r].text);
            body_ += "</text>";
        }
        body_ += "</g>\n";
        if (item.selected) selection(box.x1, box.y1, box.x2, box.y2);
    }

    const host::Design& design_;
    const host::Sheet& sheet_;
    const std::vector<const host::Item*>& items_;
    const std::set<int32_t>& sheetIds_;
    const host::DesignNotes& notes_;
    std::unordered_map<int32_t, const std::string*> netNames_;
    std::unordered_map<int32_t, const host::TextStyle*> styles_;
    std::string body_;
};

std::string indexPage(const std::string& designPath, const host::Design& design) {
    std::string html;
    html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<title>" + xmlEscape(designPath) + "</title>\n";
    html +=
        "<style>body{font-family:sans-serif;margin:1em 2em}"
        "object{width:100%;max-width:1600px;border:1px solid #ccc;display:block;margin-bottom:2em}"
        "nav a{margin-right:1em}</style>\n";
    html += "</head>\n<body>\n<h1>" + xmlEscape(designPath) + "</h1>\n<nav>";
    for (const host::Sheet& sheet : design.sheets) {
        html += "<a href=\"#sheet-" + std::to_string(sheet.id) + "\">" + std::to_string(sheet.id) + ' ' +
                xmlEscape(sheet.name) + "</a>";
    }
    html += "</nav>\n";
    for (const host::Sheet& sheet : design.sheets) {
        const std::string file = "sheet-" + std::to_string(sheet.id) + ".svg";
        html += "<h2 id=\"sheet-" + std::to_string(sheet.id) + "\">Sheet " + std::to_string(sheet.id) + ": " +
                xmlEscape(sheet.name) + "</h2>\n";
        html +=
            "<object type=\"image/svg+xml\" data=\"" + file + "\"><a href=\"" + file + "\">" + file + "</a></object>\n";
    }
    html += "</body>\n</html>\n";
    return html;
}

// Written as a design is saved: a picture is whole or as it was, and a
// symbolic link at its place is replaced, never written through.
bool writeText(const std::filesystem::path& path, const std::string& text, std::ostream& err) {
    std::string reason;
    if (!host::saveAtomically(path.string(), path.string(), text, nullptr, reason)) {
        err << "orlune: " << reason << '\n';
        return false;
    }
    return true;
}

}  // namespace

std::string xmlEscape(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        const char32_t c = host::nextUtf8(utf8, pos);
        switch (c) {
            case U'&':
                out += "&amp;";
                continue;
            case U'<':
                out += "&lt;";
                continue;
            case U'>':
                out += "&gt;";
                continue;
            case U'"':
                out += "&quot;";
                continue;
            case U'\'':
                out += "&apos;";
                continue;
            // As references: a reader normalises these to spaces inside an
            // attribute (and CR to LF in text), and the value must survive.
            case U'\t':
                out += "&#9;";
                continue;
            case U'\n':
                out += "&#10;";
                continue;
            case U'\r':
                out += "&#13;";
                continue;
            default:
                break;
        }
        // XML 1.0 cannot carry most control characters, nor malformed UTF-8.
        const bool allowed =
            (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (allowed && c != host::kBadUtf8) {
            out.append(utf8.substr(start, pos - start));
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD
        }
    }
    return out;
}

namespace {

std::unordered_map<int32_t, std::vector<const host::Item*>> itemsBySheet(const host::Design& design) {
    std::unordered_map<int32_t, std::vector<const host::Item*>> bySheet;
    for (const host::Item& item : design.items) {
        if (!item.deleted) bySheet[item.sheet].push_back(&item);
    }
    return bySheet;
}

}  // namespace

std::string renderSheetSvg(const host::Design& design, int32_t sheetId) {
    std::set<int32_t> ids;
    const host::Sheet* found = nullptr;
    for (const host::Sheet& sheet : design.sheets) {
        ids.insert(sheet.id);
        if (sheet.id == sheetId) found = &sheet;
    }
    if (!found) return {};
    const auto items = itemsBySheet(design);
    static const std::vector<const host::Item*> kNone;
    static const host::DesignNotes kNoNotes;
    auto it = items.find(sheetId);
    return SheetPicture(design, *found, it != items.end() ? it->second : kNone, ids, kNoNotes).render();
}

int runRender(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    std::string reason;
    host::DesignNotes notes;
    std::unique_ptr<host::Design> design = readDesignAsIs(options.designPath, reason, &notes);
    if (!design) {
        err << "Error: the design cannot be read: " << reason << '\n';
        return kExitEnded;
    }
    std::set<int32_t> ids;
    for (const host::Sheet& sheet : design->sheets)
        ids.insert(sheet.id);
    if (options.sheet != 0 && !ids.count(options.sheet)) {
        err << "orlune: " << options.designPath << " has no sheet " << options.sheet << '\n';
        return kExitUsage;
    }

    const std::filesystem::path dir(options.outputDir);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        err << "orlune: " << options.outputDir << ": cannot be created: " << ec.message() << '\n';
        return kExitEnded;
    }
    const auto items = itemsBySheet(*design);
    const std::vector<const host::Item*> none;
    for (const host::Sheet& sheet : design->sheets) {
        if (options.sheet != 0 && sheet.id != options.sheet) continue;
        const std::filesystem::path file = dir / ("sheet-" + std::to_string(sheet.id) + ".svg");
        auto onSheet = items.find(sheet.id);
        const std::string svg =
            SheetPicture(*design, sheet, onSheet != items.end() ? onSheet->second : none, ids, notes).render();
        if (!writeText(file, svg, err)) return kExitEnded;
        out << file.string() << '\n';
    }
    // One sheet alone leaves the index of an earlier full run as it was.
    if (options.sheet == 0) {
        const std::filesystem::path index = dir / "index.html";
        if (!writeText(index, indexPage(options.designPath, *design), err)) return kExitEnded;
        out << index.string() << '\n';
    }
    return kExitOk;
}

}  // namespace orlune::app
