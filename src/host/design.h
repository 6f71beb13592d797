// The design as the host holds it: typed values for everything the DBX
// operations read or change, and for each object a reference to the JSON
// object it came from, so that a save keeps every field this model does not
// know, in its order. Text is UTF-8 here; the operations convert to and from
// Windows-1252 at the DBX boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace orlune::host {

struct JsonDocument;  // the parsed file (host/json.h), owned by the design

// Index of the JSON object an entry was read from; -1 for entries the
// conversation created.
using SourceRef = int32_t;
inline constexpr SourceRef kNoSource = -1;

struct TextStyle {
    int32_t number = 0;
    int32_t id = 0;
    std::string name;
    int32_t height = 1;
    int32_t charWidth = 1;
    std::unordered_map<char32_t, int32_t> advances;  // by Unicode code point
    SourceRef source = kNoSource;
};

struct Sheet {
    int32_t id = 0;
    std::string name;
    SourceRef source = kNoSource;
};

struct Net {
    int32_t id = 0;
    std::string name;
    SourceRef source = kNoSource;
};

struct Bus {
    std::string name;
    std::vector<int32_t> nets;
    SourceRef source = kNoSource;
};

struct Attribute {
    std::string name;
    std::string value;
    std::optional<int32_t> units;
    SourceRef source = kNoSource;
};

struct Pin {
    int32_t x = 0;
    int32_t y = 0;
    int32_t sheet = 0;
    int32_t net = 0;  // 0: unconnected
    SourceRef source = kNoSource;
};

struct Symbol {
    int32_t sheet = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool flipped = false;
    int32_t highlight = 0;  // 0: not highlighted, else the colour
    bool selected = false;
    SourceRef source = kNoSource;
};

struct Component {
    std::string refDes;
    std::string type;
    int32_t kind = 0;
    std::vector<Attribute> attributes;
    std::vector<Pin> pins;
    Symbol symbol;
    SourceRef source = kNoSource;
};

enum class ItemType { Text, Bus, Wire, Line };

struct Item {
    ItemType type = ItemType::Text;
    int32_t sheet = 0;
    bool selected = false;
    bool deleted = false;  // removed in this conversation; dropped on save
    // Text.
    std::string text;
    int32_t style = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t justification = 0;
    // The sheet connector (index into Design::components) whose component
    // walk was in hand when the text was placed, or whose text a backend
    // knows it to be; -1: none known. Not stored in a design file.
    int32_t owner = -1;
    // Bus, wire and line.
    std::string bus;
    int32_t net = 0;  // wire; 0: none
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x2 = 0;
    int32_t y2 = 0;
    SourceRef source = kNoSource;
};

struct Design {
    int32_t version = 1;
    int32_t units = 1;
    int32_t workspaceX = 0;
    int32_t workspaceY = 0;
    int32_t textLimit = 255;
    std::vector<TextStyle> textStyles;
    std::vector<Sheet> sheets;
    std::vector<Net> nets;
    std::vector<Bus> buses;
    std::vector<Component> components;
    std::vector<Item> items;
    std::vector<Attribute> attributes;  // design attributes; deleted ones are removed

    // Set by every operation that changes the design; a close saves only then.
    bool changed = false;

    // The file as read, for the fields the model does not know.
    std::shared_ptr<JsonDocument> document;
};

}  // namespace orlune::host
