// The design `orlune convert` writes, read back for the netlist oracle: the
// pin partition (pins with a number, grouped by net; a pin on net 0 alone)
// and the pages each component's pins lie on.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/json.h"
#include "host/kicad/project.h"
#include "host/kicad/sexpr.h"
#include "host/load.h"

namespace orlune::kicad::test {

using Partition = std::set<std::set<std::string>>;

struct Converted {
    std::string error;  // why the output could not be read; empty when it was
    Partition partition;
    std::map<std::string, std::set<int32_t>> pages;  // refDes -> sheets of its symbol and pins
};

// Runs `orlune convert PROJECT -o OUT` and reads OUT back, as the design
// loader must accept it and as the raw JSON (for the extra keys).
inline Converted convertAndRead(const std::string& project, const std::filesystem::path& out) {
    Converted c;
    const std::string command =
        std::string(ORLUNE_BINARY) + " convert '" + project + "' -o '" + out.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        c.error = "failed: " + command;
        return c;
    }
    auto bytes = std::make_shared<const std::string>(readFile(out.string()));
    std::unique_ptr<host::Design> loaded;
    if (host::loadDesign(bytes, out.string(), loaded, c.error) != host::kOk) return c;
    host::JsonDocument doc;
    host::JsonError error;
    if (!host::parseJson(bytes, doc, error)) {
        c.error = error.message;
        return c;
    }
    const auto integer = [&](host::JsonIndex object, std::string_view key) {
        int32_t v = 0;
        if (const host::JsonIndex i = doc.find(object, key); i != host::kNoNode) doc.isInt32(i, v);
        return v;
    };
    std::map<int32_t, std::set<std::string>> byNet;
    const host::JsonIndex components = doc.find(doc.root, "components");
    for (uint32_t k = 0; k < doc.size(components); ++k) {
        const host::JsonIndex comp = doc.element(components, k);
        const std::string ref(doc.text(doc.find(comp, "refDes")));
        const host::JsonIndex onBoard = doc.find(comp, "onBoard");
        const bool board = onBoard == host::kNoNode || doc.type(onBoard) != host::JsonType::False;
        c.pages[ref].insert(integer(doc.find(comp, "symbol"), "sheet"));
        const host::JsonIndex pins = doc.find(comp, "pins");
        for (uint32_t p = 0; pins != host::kNoNode && p < doc.size(pins); ++p) {
            const host::JsonIndex pin = doc.element(pins, p);
            const int32_t net = integer(pin, "net");  // absent: 0
            c.pages[ref].insert(integer(pin, "sheet"));
            const host::JsonIndex number = doc.find(pin, "number");
            if (!board || number == host::kNoNode) continue;
            const std::string key = ref + ":" + std::string(doc.text(number));
            if (net != 0)
                byNet[net].insert(key);
            else
                c.partition.insert({key});  // alone: KiCad's net of one pin
        }
    }
    for (auto& [net, pins] : byNet)
        c.partition.insert(std::move(pins));
    return c;
}

// Net name -> sorted "REF:PIN" of every board symbol's pin on it.
using Netlist = std::map<std::string, std::set<std::string>>;

// The nets of a netlist in KiCad's s-expression form.
inline Netlist kicadNetlist(const std::string& path) {
    const Sexpr doc = Sexpr::parse(readFile(path));
    const auto value = [&](NodeIndex list, std::string_view key) {
        return doc.text(doc.child(doc.find(list, key), 1));
    };
    Netlist out;
    doc.forEachChild(doc.find(doc.root(), "nets"), [&](NodeIndex net) {
        if (doc.head(net) != "net") return;
        Netlist::mapped_type& pins = out[value(net, "name")];
        doc.forEachChild(net, [&](NodeIndex node) {
            if (doc.head(node) == "node") pins.insert(value(node, "ref") + ":" + value(node, "pin"));
        });
    });
    return out;
}

// KiCad's netlist: per component, the number of its sheet instance in the
// netlist (the component's uuid path), -1 where it names no such sheet.
// KiCad numbers those sheets 1 to N in the order of the pages it prints,
// while the title block shows the page itself (a demo printing "23/15").
inline std::map<std::string, int> kicadPages(const std::string& netlist) {
    const Sexpr doc = Sexpr::parse(readFile(netlist));
    const auto value = [&](NodeIndex list, std::string_view key) {
        return std::string(doc.text(doc.child(doc.find(list, key), 1)));
    };
    std::map<std::string, int> pageOfPath;
    doc.forEachChild(doc.find(doc.root(), "design"), [&](NodeIndex sheet) {
        if (doc.head(sheet) != "sheet") return;
        const std::string number = value(sheet, "number");
        const bool whole = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
        pageOfPath[value(sheet, "tstamps")] = whole ? std::stoi(number) : -1;
    });
    std::map<std::string, int> out;
    doc.forEachChild(doc.find(doc.root(), "components"), [&](NodeIndex comp) {
        if (doc.head(comp) != "comp") return;
        const std::string path = value(doc.find(comp, "sheetpath"), "tstamps");
        out[value(comp, "ref")] = pageOfPath.count(path) ? pageOfPath[path] : -1;
    });
    return out;
}

}  // namespace orlune::kicad::test
