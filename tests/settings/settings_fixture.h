// Designs for the settings tests and a look at the design attributes as the
// host holds them after a run.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace orlune::test {

struct DesignSpec {
    int units = 1;
    int sheets = 1;
    // JSON array contents, without the brackets.
    std::string attributes;
    std::string items;
    std::string styles = R"({ "number": 0, "name": "Default", "height": 100, "charWidth": 60 },)"
                         R"({ "number": 1, "id": 11, "name": "Big", "height": 200, "charWidth": 120 },)"
                         R"({ "number": 2, "id": 12, "name": "Small", "height": 50, "charWidth": 30 })";

    DesignSpec& withSheets(int count) {
        sheets = count;
        return *this;
    }
    DesignSpec& withAttributes(std::string json) {
        attributes = std::move(json);
        return *this;
    }
    DesignSpec& withItems(std::string json) {
        items = std::move(json);
        return *this;
    }
};

// A design of `units` with one sheet, three text styles and nothing else.
inline DesignSpec design(int units) {
    DesignSpec shape;
    shape.units = units;
    return shape;
}

std::string designJson(const DesignSpec& shape);

// One design attribute as JSON; a negative `units` leaves the key out.
std::string attributeJson(const std::string& name, const std::string& value, int units = -1);

struct StoredAttribute {
    std::string name;
    std::string value;
    int32_t units = 0;
};

// The design attributes in walk order, read through a conversation of its
// own so that the run under test keeps its records.
std::vector<StoredAttribute> storedAttributes(Platform& platform);

}  // namespace orlune::test
