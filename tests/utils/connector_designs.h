// Small design files with sheet connectors, built from a few lines of data,
// and read-back helpers for what the utilities changed.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/design.h"
#include "host/host.h"

namespace orlune::test {

struct ConnectorSpec {
    std::string refDes;
    // Attributes in order, as name and value.
    std::vector<std::pair<std::string, std::string>> attributes;
    int highlight = 0;
    bool selected = false;
    int kind = 2;
    int sheet = 1;
};

inline std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// Two sheets, one net joining every pin, one text style; `items` are entries
// of the "items" array as JSON text.
inline std::string designJson(const std::vector<ConnectorSpec>& components,
                              const std::vector<std::string>& items = {}) {
    std::string json =
        "{\n  \"format\": \"orlune-design\", \"version\": 1, \"units\": 1, \"workspace\": [25400000, 17780000],\n"
        "  \"textStyles\": [ { \"number\": 0, \"name\": \"Default\", \"height\": 228600, \"charWidth\": 152400 } ],\n"
        "  \"sheets\": [ { \"id\": 1, \"name\": \"Main\" }, { \"id\": 2, \"name\": \"Power\" } ],\n"
        "  \"nets\": [ { \"id\": 1, \"name\": \"VBAT\" } ],\n"
        "  \"components\": [\n";
    int x = 1000000;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const ConnectorSpec& c = components[i];
        const std::string pos =
            "\"x\": " + std::to_string(x) + ", \"y\": 500000, \"sheet\": " + std::to_string(c.sheet);
        json += "    { \"refDes\": " + quoted(c.refDes) +
                ", \"type\": \"SH_CONN\", \"kind\": " + std::to_string(c.kind) + ", \"attributes\": [";
        for (std::size_t a = 0; a < c.attributes.size(); ++a) {
            json += (a ? ", " : " ") + std::string("{ \"name\": ") + quoted(c.attributes[a].first) +
                    ", \"value\": " + quoted(c.attributes[a].second) + " }";
        }
        json += " ],\n      \"pins\": [ { " + pos + ", \"net\": 1 } ],\n";
        json += "      \"symbol\": { " + pos + ", \"flipped\": false, \"highlight\": " + std::to_string(c.highlight) +
                ", \"selected\": " + (c.selected ? "true" : "false") + " } }";
        json += i + 1 < components.size() ? ",\n" : "\n";
        x += 1000000;
    }
    json += "  ],\n  \"items\": [";
    for (std::size_t i = 0; i < items.size(); ++i)
        json += (i ? ",\n    " : "\n    ") + items[i];
    json += "\n  ],\n  \"attributes\": []\n}\n";
    return json;
}

inline std::string textItem(const std::string& text, int sheet = 1, bool selected = false) {
    return "{ \"type\": \"text\", \"sheet\": " + std::to_string(sheet) + ", \"text\": " + quoted(text) +
           ", \"style\": 0, \"x\": 100000, \"y\": 100000, \"justification\": 4, \"selected\": " +
           (selected ? "true" : "false") + " }";
}

inline std::string wireItem(bool selected = false) {
    return std::string("{ \"type\": \"wire\", \"sheet\": 1, \"net\": 1, \"x1\": 0, \"y1\": 0, \"x2\": 254000, ") +
           "\"y2\": 0, \"selected\": " + (selected ? "true" : "false") + " }";
}

inline const host::Component* findComponent(host::Host& h, const std::string& refDes) {
    host::Design* d = h.design();
    if (!d) return nullptr;
    for (const host::Component& c : d->components) {
        if (c.refDes == refDes) return &c;
    }
    return nullptr;
}

// The value of the component's first attribute of that name, as the design
// holds it now.
inline std::optional<std::string> attributeValue(host::Host& h, const std::string& refDes, const std::string& name) {
    const host::Component* c = findComponent(h, refDes);
    if (!c) return std::nullopt;
    for (const host::Attribute& a : c->attributes) {
        if (a.name == name) return a.value;
    }
    return std::nullopt;
}

inline int attributeCount(host::Host& h, const std::string& refDes, const std::string& name) {
    const host::Component* c = findComponent(h, refDes);
    int n = 0;
    if (c) {
        for (const host::Attribute& a : c->attributes)
            n += a.name == name ? 1 : 0;
    }
    return n;
}

inline int highlightOf(host::Host& h, const std::string& refDes) {
    const host::Component* c = findComponent(h, refDes);
    return c ? c->symbol.highlight : -1;
}

}  // namespace orlune::test
