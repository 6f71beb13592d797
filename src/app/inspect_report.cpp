// `orlune report` and `orlune verify`: each connector's text as it stands
// against what an update pass would place now (see docs/report.md).
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "app/design_run.h"
#include "app/inspect.h"
#include "app/inspect_connectors.h"
#include "host/json.h"

namespace orlune::app {

namespace {

// The state of a text beginning with "@" that a user wrote: Update leaves it.
constexpr std::string_view kForeign = "user's text";
// The layout state of a text with paper alone around it.
constexpr std::string_view kLayoutFree = "free";

std::string sheetList(const std::vector<int32_t>& sheets, char separator) {
    std::string text;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (i) text.push_back(separator);
        text += std::to_string(sheets[i]);
    }
    return text;
}

std::string signal(const ConnectorLine& line) {
    if (line.busConnector) return line.bus ? "bus " + escapeText(*line.bus) : "bus (none beside it)";
    if (line.net == 0) return "unconnected";
    return "net " + (line.netName.empty() ? std::to_string(line.net) : escapeText(line.netName));
}

std::string_view rowMode(const ConnectorLine& line) {
    return line.moreRows ? "more rows" : "one row";
}

// Display width of UTF-8 text: one column per character.
std::size_t columns(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

void writeTable(const ConnectorAnalysis& analysis, std::ostream& out) {
    std::vector<std::vector<std::string>> rows;
    // A KiCad project's connectors by their label and page, as its user
    // reads them.
    if (analysis.noted)
        rows.push_back({"LABEL", "PAGE", "SIGNAL", "ROWS", "LISTS", "TEXT NOW", "STATE"});
    else
        rows.push_back({"REFDES", "SHEET", "SIGNAL", "ROWS", "LISTS", "TEXT NOW", "STATE"});
    const bool layout = analysis.layoutChecked;
    if (layout) rows.back().push_back("LAYOUT");
    for (const ConnectorLine& line : analysis.connectors) {
        rows.push_back({line.note ? escapeText(line.note->label) : escapeText(line.refDes),
                        line.note ? escapeText(line.note->page) : std::to_string(line.sheet), signal(line),
                        std::string(rowMode(line)), line.sheets.empty() ? "-" : sheetList(line.sheets, ','),
                        line.now ? quotedText(line.now->text) : "-", std::string(stateName(line.state))});
        if (layout) rows.back().push_back(line.now && !line.now->layout.empty() ? line.now->layout : "-");
    }
    for (const OwnText& stray : analysis.strays) {
        rows.push_back({"-", std::to_string(stray.sheet), "-", "-", "-", quotedText(stray.text), "stray"});
        if (layout) rows.back().push_back(stray.layout.empty() ? "-" : stray.layout);
    }
    for (const host::ForeignText& text : analysis.foreignTexts) {
        rows.push_back({"-", escapeText(text.page), "-", "-", "-", quotedText(text.text), std::string(kForeign)});
        if (layout) rows.back().push_back("-");
    }
    std::vector<std::size_t> width(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], columns(row[c]));
    }
    for (const auto& row : rows) {
        std::string text;
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) text.append(width[c] - columns(row[c]) + 2, ' ');
        }
        out << text << '\n';
    }
    if (analysis.passEndsEarly) out << "The update pass would end early: a row cannot take a sheet number.\n";
}

void writeJson(const std::string& path, const ConnectorAnalysis& analysis, std::ostream& out) {
    std::string text;
    host::JsonWriter json(text);
    auto optionalString = [&](const std::optional<std::string>& value) {
        if (value)
            json.string(*value);
        else
            json.null();
    };
    json.beginObject();
    json.key("design");
    json.string(path);
    json.key("updateEndsEarly");
    json.boolean(analysis.passEndsEarly);
    json.key("connectors");
    json.beginArray();
    for (const ConnectorLine& line : analysis.connectors) {
        json.beginObject();
        json.key("refDes");
        json.string(line.refDes);
        if (line.note) {
            json.key("label");
            json.string(line.note->label);
            json.key("page");
            json.string(line.note->page);
            json.key("uuid");
            json.string(line.note->uuid);
        }
        json.key("sheet");
        json.integer(line.sheet);
        json.key("net");
        if (!line.busConnector && line.net != 0)
            json.string(line.netName);
        else
            json.null();
        json.key("bus");
        if (line.busConnector)
            optionalString(line.bus);
        else
            json.null();
        json.key("rowMode");
        json.string(rowMode(line));
        json.key("sheets");
        json.beginArray();
        for (int32_t sheet : line.sheets)
            json.integer(sheet);
        json.endArray();
        json.key("point");
        if (line.hasPoint) {
            json.beginObject();
            json.key("x");
            json.integer(line.x);
            json.key("y");
            json.integer(line.y);
            json.key("justification");
            json.integer(line.justification);
            json.endObject();
        } else {
            json.null();
        }
        json.key("text");
        optionalString(line.now ? std::optional<std::string>(line.now->text) : std::nullopt);
        json.key("expected");
        optionalString(line.expected);
        json.key("state");
        json.string(stateName(line.state));
        if (analysis.layoutChecked) {
            json.key("layout");
            if (line.now && !line.now->layout.empty())
                json.string(line.now->layout);
            else
                json.null();
        }
        json.endObject();
    }
    json.endArray();
    json.key("strayTexts");
    json.beginArray();
    for (const OwnText& stray : analysis.strays) {
        json.beginObject();
        json.key("sheet");
        json.integer(stray.sheet);
        json.key("x");
        json.integer(stray.x);
        json.key("y");
        json.integer(stray.y);
        json.key("justification");
        json.integer(stray.justification);
        json.key("text");
        json.string(stray.text);
        json.endObject();
    }
    json.endArray();
    if (analysis.noted) {
        json.key("userTexts");
        json.beginArray();
        for (const host::ForeignText& user : analysis.foreignTexts) {
            json.beginObject();
            json.key("sheet");
            json.integer(user.sheet);
            json.key("page");
            json.string(user.page);
            json.key("text");
            json.string(user.text);
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
    json.finish();
    out << text;
}

// One text cell: written out as every other output writes it (so that a
// record is one line), then guarded where a spreadsheet would take the cell
// for a formula, and quoted by RFC 4180. A leading "'" is guarded too, so
// that dropping one leading "'" always gives the value back.
std::string csvField(std::string_view text) {
    std::string cell = escapeText(text);
    if (!cell.empty() && std::string_view("=+-@'\t\r").find(cell.front()) != std::string_view::npos)
        cell.insert(cell.begin(), '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

void writeCsv(const ConnectorAnalysis& analysis, std::ostream& out) {
    const std::string_view noted = analysis.noted ? ",label,page,uuid" : "";
    const bool checked = analysis.layoutChecked;
    out << "refDes,sheet,net,bus,rowMode,sheets,x,y,justification,text,expected,state" << noted
        << (checked ? ",layout" : "") << "\r\n";
    auto layout = [&](const std::string& state) { return checked ? ',' + csvField(state) : std::string(); };
    auto point = [](const ConnectorLine& line, int32_t value) { return line.hasPoint ? std::to_string(value) : ""; };
    auto names = [&](const ConnectorLine& line) {
        if (!analysis.noted) return std::string();
        if (!line.note) return std::string(",,,");
        return ',' + csvField(line.note->label) + ',' + csvField(line.note->page) + ',' + csvField(line.note->uuid);
    };
    const std::string noNames = analysis.noted ? ",,," : "";
    for (const ConnectorLine& line : analysis.connectors) {
        out << csvField(line.refDes) << ',' << line.sheet << ','
            << csvField(!line.busConnector && line.net != 0 ? line.netName : "") << ','
            << csvField(line.busConnector && line.bus ? *line.bus : "") << ',' << rowMode(line) << ','
            << sheetList(line.sheets, ' ') << ',' << point(line, line.x) << ',' << point(line, line.y) << ','
            << point(line, line.justification) << ',' << csvField(line.now ? line.now->text : "") << ','
            << csvField(line.expected ? *line.expected : "") << ',' << stateName(line.state) << names(line)
            << layout(line.now ? line.now->layout : "") << "\r\n";
    }
    for (const OwnText& stray : analysis.strays) {
        out << ',' << stray.sheet << ",,,,," << stray.x << ',' << stray.y << ',' << stray.justification << ','
            << csvField(stray.text) << ",,stray" << noNames << layout(stray.layout) << "\r\n";
    }
    for (const host::ForeignText& text : analysis.foreignTexts)
        out << ',' << text.sheet << ",,,,,,,," << csvField(text.text) << ",," << kForeign << ",," << csvField(text.page)
            << ',' << layout("") << "\r\n";
}

std::string where(const ConnectorLine& line) {
    if (line.note) return quotedText(line.note->label) + " on page " + escapeText(line.note->page);
    return escapeText(line.refDes) + " (sheet " + std::to_string(line.sheet) + ")";
}

// One line for a connector whose text is not what Update would leave.
std::string difference(const ConnectorLine& line) {
    std::string text = where(line) + ": " + std::string(stateName(line.state)) + ": ";
    switch (line.state) {
        case ConnectorState::Missing:
            return text + "no text, Update would place " + quotedText(*line.expected);
        case ConnectorState::NotReached:
            return text + "the update pass would end before this connector";
        default:
            break;
    }
    if (!line.now) return text + "differs";
    text += "stands " + quotedText(line.now->text);
    if (!line.expected) return text + ", Update would remove it";
    if (line.now->text != *line.expected) return text + ", Update would place " + quotedText(*line.expected);
    if (line.now->style != line.expectedStyle)
        return text + " in style " + std::to_string(line.now->style) + ", Update would place it in style " +
               std::to_string(line.expectedStyle);
    return text + " away from its connector, Update would move it back";
}

}  // namespace

int runReport(const std::string& designPath, ReportFormat format, std::ostream& out, std::ostream& err) {
    ConnectorAnalysis analysis;
    const int status = analyseDesign(designPath, err, analysis);
    if (status != kExitOk) return status;
    switch (format) {
        case ReportFormat::Text:
            writeTable(analysis, out);
            break;
        case ReportFormat::Json:
            writeJson(designPath, analysis, out);
            break;
        case ReportFormat::Csv:
            writeCsv(analysis, out);
            break;
    }
    return kExitOk;
}

// Line and column (1-based, in bytes) of byte offsets in files, each file
// read once.
class FilePlaces {
public:
    std::optional<std::pair<std::size_t, std::size_t>> at(const std::string& file, int64_t offset) {
        auto it = lineStarts_.find(file);
        if (it == lineStarts_.end()) {
            std::vector<std::size_t> starts;
            std::ifstream in(file, std::ios::binary);
            if (in) {
                starts.push_back(0);
                std::size_t position = 0;
                for (char c; in.get(c); ++position)
                    if (c == '\n') starts.push_back(position + 1);
            }
            it = lineStarts_.emplace(file, std::move(starts)).first;
        }
        const std::vector<std::size_t>& starts = it->second;
        if (starts.empty() || offset < 0) return std::nullopt;
        const auto line = std::upper_bound(starts.begin(), starts.end(), static_cast<std::size_t>(offset)) - 1;
        return std::make_pair(static_cast<std::size_t>(line - starts.begin()) + 1,
                              static_cast<std::size_t>(offset) - *line + 1);
    }

private:
    std::map<std::string, std::vector<std::size_t>> lineStarts_;
};

int runVerify(const std::vector<std::string>& designPaths, std::ostream& out, std::ostream& err, VerifyFormat format,
              bool layout) {
    FilePlaces places;
    const bool gcc = format == VerifyFormat::Gcc;
    int worst = kExitOk;
    for (const std::string& path : designPaths) {
        if (designPaths.size() > 1 && !gcc) out << "== " << escapeText(path) << '\n';
        // Where an editor finds each line's connector: its file, line and column.
        auto located = [&](const ConnectorLine* line) {
            if (!gcc) return std::string();
            if (line && line->note && line->note->offset >= 0)
                if (auto place = places.at(line->note->file, line->note->offset))
                    return escapeText(line->note->file) + ":" + std::to_string(place->first) + ":" +
                           std::to_string(place->second) + ": error: ";
            return escapeText(path) + ": error: ";
        };
        ConnectorAnalysis analysis;
        const int status = analyseDesign(path, err, analysis);
        if (status != kExitOk) {
            worst = std::max(worst, status);
            continue;
        }
        // A stray text's page, named as its connectors name it.
        std::map<int32_t, std::string> pages;
        for (const ConnectorLine& line : analysis.connectors)
            if (line.note) pages.emplace(line.sheet, line.note->page);
        std::size_t differing = 0;
        if (analysis.passEndsEarly) {
            out << located(nullptr) << "The update pass would end early: a row cannot take a sheet number\n";
            ++differing;
        }
        for (const ConnectorLine& line : analysis.connectors) {
            // Connectors the early end leaves out are covered by the line above.
            if (stateAgrees(line.state) || line.state == ConnectorState::NotReached) continue;
            out << located(&line) << difference(line) << '\n';
            ++differing;
        }
        for (const OwnText& stray : analysis.strays) {
            out << located(nullptr);
            if (auto page = pages.find(stray.sheet); page != pages.end())
                out << "page " << escapeText(page->second) << " (" << millimetres(stray.x) << " mm, "
                    << millimetres(stray.y) << " mm)";
            else
                out << "sheet " << stray.sheet << " (" << stray.x << ", " << stray.y << ")";
            out << ": " << quotedText(stray.text) << " stands beside no connector, Update would remove it\n";
            ++differing;
        }
        std::size_t misplaced = 0;
        if (layout && analysis.layoutChecked) {
            for (const ConnectorLine& line : analysis.connectors) {
                if (!line.now || line.now->layout.empty() || line.now->layout == kLayoutFree) continue;
                out << located(&line) << where(line) << ": " << quotedText(line.now->text) << " " << line.now->layout
                    << "\n";
                ++misplaced;
            }
        } else if (layout && !gcc) {
            out << "layout: a design file keeps its own placement rules; no page layout to check\n";
        }
        differing += misplaced;
        if (differing == 0) {
            if (!gcc) out << "ok: " << analysis.connectors.size() << " sheet connectors as Update would leave them\n";
            if (!gcc && layout && analysis.layoutChecked) out << "ok: every placed text stands free on its page\n";
        } else {
            worst = std::max(worst, kExitDiffers);
        }
    }
    return worst;
}

}  // namespace orlune::app
