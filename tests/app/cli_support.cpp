#include "app/cli_support.h"

#include <sstream>

#include "app/cli.h"

namespace orlune::test {

CliResult runCli(const std::vector<std::string>& args) {
    std::vector<std::string> all{"orlune"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    CliResult r;
    r.status = app::runCommandLine(static_cast<int>(all.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string minimalDesign() {
    DesignParts parts;
    parts.components = connector("SC1", 1, 1000000, false) + ",\n" + connector("SC2", 2, 2000000, true);
    return makeDesign(parts);
}

std::string makeDesign(const DesignParts& parts) {
    std::string sheets;
    for (int id = 1; id <= parts.sheets; ++id) {
        if (id > 1) sheets += ", ";
        sheets += R"({ "id": )" + std::to_string(id) + R"(, "name": "S)" + std::to_string(id) + "\" }";
    }
    return R"({
  "format": "orlune-design", "version": 1, "units": )" +
           std::to_string(parts.units) + R"(, "workspace": [25400000, 17780000],
  "textStyles": [ )" +
           parts.textStyles +
           R"( ],
  "sheets": [ )" +
           sheets +
           R"( ],
  "nets": [ { "id": 1, "name": "VBAT" } ],
  "components": [ )" +
           parts.components + R"( ],
  "items": [ )" +
           parts.items +
           R"( ],
  "attributes": [ )" +
           parts.attributes +
           R"( ]
}
)";
}

std::string connector(const std::string& refDes, int sheet, int x, bool flipped, const std::string& shType) {
    std::string attributes = shType.empty() ? "" : R"({ "name": "SH_TYPE", "value": ")" + shType + "\" }";
    std::string at = std::to_string(x);
    std::string s = std::to_string(sheet);
    return R"({ "refDes": ")" + refDes + R"(", "type": "SH_CONN", "kind": 2, "attributes": [ )" + attributes +
           R"( ], "pins": [ { "x": )" + at + R"(, "y": 500000, "sheet": )" + s +
           R"(, "net": 1 } ], "symbol": { "sheet": )" + s + R"(, "x": )" + at + R"(, "y": 500000, "flipped": )" +
           (flipped ? "true" : "false") + " } }";
}

std::string textItem(const std::string& text, int sheet, int x, int y) {
    return R"({ "type": "text", "sheet": )" + std::to_string(sheet) + R"(, "text": ")" + text +
           R"(", "style": 0, "x": )" + std::to_string(x) + R"(, "y": )" + std::to_string(y) +
           R"(, "justification": 4 })";
}

}  // namespace orlune::test
