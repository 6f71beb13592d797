// Bytes as a KiCad schematic: the reader accepts them or refuses them with
// a one-line reason, never crashes or hangs; every node it keeps lies inside
// the bytes, within its parent, and every child follows its elder sibling.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/kicad/schematic.h"

namespace {

using namespace orlune::kicad;

void require(bool condition) {
    if (!condition) std::abort();
}

void checkTree(const Sexpr& doc, NodeIndex list) {
    uint32_t previousEnd = doc.node(list).begin + 1;
    for (NodeIndex c = doc.first(list); c != kNone; c = doc.next(list, c)) {
        const SexprNode& n = doc.node(c);
        require(n.begin >= previousEnd && n.end > n.begin && n.end <= doc.node(list).end - 1);
        previousEnd = n.end;
        if (doc.isList(c)) checkTree(doc, c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const sch::SchematicFile file = sch::readSchematic("fuzz.kicad_sch", std::move(bytes));
        require(file.doc.node(file.doc.root()).end <= file.doc.bytes().size());
        checkTree(file.doc, file.doc.root());
        for (const sch::PlacedSymbol& symbol : file.symbols)
            sch::forEachPin(file, symbol, symbol.unit, [&](const sch::LibPin& pin) { (void)symbol.pinPoint(pin); });
    } catch (const ReadError& e) {
        require(std::string(e.what()).find('\n') == std::string::npos);
    }
    return 0;
}
