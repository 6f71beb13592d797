#include "annotate/annotate_fixture.h"

#include <sstream>

#include "annotate/connector_scan.h"
#include "annotate/text_place.h"
#include "dbx/connection.h"
#include "dbx/dbx32.h"

namespace orlune::test {

namespace {

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[(c >> 4) & 0xf];
            out += hex[c & 0xf];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <typename T, typename F>
std::string joined(const std::vector<T>& values, F&& each) {
    std::string out;
    for (const T& v : values) {
        if (!out.empty()) out += ", ";
        out += each(v);
    }
    return out;
}

std::string pinJson(const PinAt& p) {
    std::ostringstream s;
    s << R"({ "x": )" << p.x << R"(, "y": )" << p.y << R"(, "sheet": )" << p.sheet << R"(, "net": )" << p.net << " }";
    return s.str();
}

}  // namespace

std::string DesignPlan::json() const {
    std::ostringstream s;
    s << R"({ "format": "orlune-design", "version": 1, "units": )" << units << R"(, "workspace": [)" << workspaceX
      << ", " << workspaceY << "],\n";
    if (textLimit) s << R"(  "textLimit": )" << *textLimit << ",\n";
    s << R"(  "textStyles": [
    { "number": 0, "name": "Default", "height": 100, "charWidth": 60, "advances": { "@": 100, ",": 20 } },
    { "number": 1, "name": "Second", "height": 100, "charWidth": 60, "advances": { "@": 100, ",": 20 } } ],
)";
    std::vector<int32_t> sheetIds;
    if (layerZero) sheetIds.push_back(0);
    for (int32_t i = 1; i <= sheets; ++i)
        sheetIds.push_back(i);
    s << R"(  "sheets": [ )" << joined(sheetIds, [](int32_t id) {
        return R"({ "id": )" + std::to_string(id) + R"(, "name": "S)" + std::to_string(id) + "\" }";
    }) << " ],\n";
    std::vector<int32_t> netIds;
    for (int32_t i = 1; i <= nets; ++i)
        netIds.push_back(i);
    s << R"(  "nets": [ )" << joined(netIds, [](int32_t id) {
        return R"({ "id": )" + std::to_string(id) + R"(, "name": "N)" + std::to_string(id) + "\" }";
    }) << " ],\n";
    s << R"(  "buses": [ )" << joined(buses, [](const std::pair<std::string, std::vector<int32_t>>& b) {
        return R"({ "name": )" + quoted(b.first) + R"(, "nets": [)" +
               joined(b.second, [](int32_t n) { return std::to_string(n); }) + "] }";
    }) << " ],\n";
    s << "  \"components\": [\n    " << joined(components, [](const std::string& c) { return c; }) << " ],\n";
    s << "  \"items\": [\n    " << joined(items, [](const std::string& c) { return c; }) << " ],\n";
    s << "  \"attributes\": []\n}\n";
    return s.str();
}

std::string connector(const std::string& refDes, PinAt pin, bool flipped, const std::string& type,
                      const Attributes& attributes) {
    std::ostringstream s;
    s << R"({ "refDes": )" << quoted(refDes) << R"(, "type": )" << quoted(type) << R"(, "kind": 2, "attributes": [)"
      << joined(attributes,
                [](const std::pair<std::string, std::string>& a) {
                    return R"({ "name": )" + quoted(a.first) + R"(, "value": )" + quoted(a.second) + " }";
                })
      << R"(], "pins": [ )" << pinJson(pin) << R"( ], "symbol": { "sheet": )" << pin.sheet << R"(, "x": )" << pin.x
      << R"(, "y": )" << pin.y << R"(, "flipped": )" << (flipped ? "true" : "false") << " } }";
    return s.str();
}

std::string part(const std::string& refDes, int32_t net, const std::vector<int32_t>& sheets) {
    std::vector<PinAt> pins;
    int32_t x = 100000;
    for (int32_t sheet : sheets) {
        pins.push_back({x, 100000, sheet, net});
        x += 100000;
    }
    const int32_t symbolSheet = sheets.empty() ? 1 : sheets.front();
    return R"({ "refDes": )" + quoted(refDes) + R"(, "type": "PART", "kind": 1, "pins": [ )" + joined(pins, pinJson) +
           R"( ], "symbol": { "sheet": )" + std::to_string(symbolSheet) + R"(, "x": 0, "y": 0 } })";
}

std::string textItem(int32_t sheet, const std::string& text, int32_t x, int32_t y, int32_t style,
                     int32_t justification) {
    std::ostringstream s;
    s << R"({ "type": "text", "sheet": )" << sheet << R"(, "text": )" << quoted(text) << R"(, "style": )" << style
      << R"(, "x": )" << x << R"(, "y": )" << y << R"(, "justification": )" << justification << " }";
    return s.str();
}

std::string busItem(int32_t sheet, const std::string& bus, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    std::ostringstream s;
    s << R"({ "type": "bus", "sheet": )" << sheet << R"(, "bus": )" << quoted(bus) << R"(, "x1": )" << x1
      << R"(, "y1": )" << y1 << R"(, "x2": )" << x2 << R"(, "y2": )" << y2 << " }";
    return s.str();
}

std::vector<SeenText> designTexts(HostedRun& /*bound to this thread*/) {
    RecordingPlatform platform;
    Run reader(platform);
    Design_Open(reader.connection, reader.platform);
    std::vector<int32_t> layers;
    int32_t status = TGetFirstLayer(&reader.connection.DesignContext, &reader.records.LayerRec);
    while (status == 0) {
        layers.push_back(reader.records.LayerRec.layerId);
        status = TGetNextLayer(&reader.connection.DesignContext, &reader.records.LayerRec);
    }
    std::vector<SeenText> texts;
    for (int32_t layer : layers) {
        status = TGetFirstLayerItem(&reader.connection.DesignContext, layer, &reader.records.ItemRec);
        while (status == 0) {
            if (reader.records.ItemRec.itemKind == dbx::kItemText) {
                const dbx::TextRecord& t = reader.records.ItemRec.textPart;
                texts.push_back(
                    {layer, dbx::readField(t.text), t.location.x, t.location.y, t.justification, t.textStyleId});
            }
            status = TGetNextLayerItem(&reader.connection.DesignContext, &reader.records.ItemRec);
        }
    }
    Design_Close(reader.connection);
    return texts;
}

std::vector<std::string> textsOn(HostedRun& hosted, int32_t layer) {
    std::vector<std::string> out;
    for (const SeenText& t : designTexts(hosted)) {
        if (t.layer == layer) out.push_back(t.text);
    }
    return out;
}

void prepareUpdate(Run& run, int32_t maxRow) {
    run.settings.UnitCode = 1;
    run.settings.BusDistanceByUnit = {"", "350", "8.9", "", "0.35"};
    run.settings.LeftStart = 355600;
    run.settings.RightStart = 482600;
    run.settings.MaxRowLength = maxRow;
    run.settings.DesignExtent = {25400000, 17780000};
    run.form.at("cboTextStyle").items = {{"Default", 0}, {"Second", 1}};
    run.form.at("cboTextStyle").listIndex = 0;
}

bool runUpdate(HostedRun& hosted) {
    Run& run = *hosted.run;
    Design_Open(run.connection, run.platform);
    Count_Sheets(run);
    const bool completed = Update_Connectors(run);
    Design_Close(run.connection);
    return completed;
}

}  // namespace orlune::test
