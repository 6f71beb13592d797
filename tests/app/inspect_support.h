// Helpers of the render, report and verify tests: a strict little XML
// reader (well-formedness plus a tree to query) and designs to inspect.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orlune::test {

struct XmlNode {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // decoded values
    std::vector<XmlNode> children;
    std::string text;                  // decoded character data directly inside, in order
    std::vector<std::size_t> childAt;  // for each child: the length of `text` where it stands

    std::optional<std::string> attribute(std::string_view key) const;
    bool hasClass(std::string_view cls) const;
    // Character data of this node and all below it, in document order.
    std::string allText() const;
    // Every node below this one (not itself) for which `match` holds.
    std::vector<const XmlNode*> findAll(const std::function<bool(const XmlNode&)>& match) const;
    std::vector<const XmlNode*> byName(std::string_view element) const;
    std::vector<const XmlNode*> byClass(std::string_view cls) const;
};

// Parses a whole document. Refuses anything that is not well-formed XML 1.0:
// unbalanced or crossed tags, an unquoted or repeated attribute, a raw "<" in
// a value, a "&" that starts no known entity, characters XML cannot hold,
// malformed UTF-8, a second root element. `error` then says what and where.
bool parseXml(std::string_view document, XmlNode& root, std::string& error);

// A design that holds each state of a connector's text (see the report
// tests); its texts are given, nothing has been updated.
std::string inspectScenarioDesign();

}  // namespace orlune::test
