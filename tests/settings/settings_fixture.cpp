#include "settings_fixture.h"

#include "dbx/connection.h"
#include "dbx/dbx32.h"
#include "run/run.h"

namespace orlune::test {

namespace {

// JSON string literal; the tests' texts need only quotes and backslashes escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string designJson(const DesignSpec& shape) {
    std::string sheets;
    for (int id = 1; id <= shape.sheets; ++id) {
        if (id > 1) sheets += ", ";
        sheets += R"({ "id": )" + std::to_string(id) + R"(, "name": "S)" + std::to_string(id) + "\" }";
    }
    return R"({ "format": "orlune-design", "version": 1, "units": )" + std::to_string(shape.units) +
           R"(, "workspace": [25400000, 17780000], "textStyles": [)" + shape.styles + R"(], "sheets": [)" + sheets +
           R"(], "nets": [], "components": [], "items": [)" + shape.items + R"(], "attributes": [)" + shape.attributes +
           "] }\n";
}

std::string attributeJson(const std::string& name, const std::string& value, int units) {
    std::string json = R"({ "name": )" + quoted(name) + R"(, "value": )" + quoted(value);
    if (units >= 0) json += R"(, "units": )" + std::to_string(units);
    return json + " }";
}

std::vector<StoredAttribute> storedAttributes(Platform& platform) {
    orlune::Run probe(platform);
    Design_Open(probe.connection, probe.platform);
    std::vector<StoredAttribute> found;
    probe.connection.LastStatus =
        TGetFirstDesignAttribute(&probe.connection.DesignContext, &probe.records.AttributeRec);
    while (probe.connection.LastStatus == dbx::kStatusOk) {
        found.push_back({dbx::readField(probe.records.AttributeRec.name),
                         dbx::readField(probe.records.AttributeRec.value), probe.records.AttributeRec.units});
        probe.connection.LastStatus =
            TGetNextDesignAttribute(&probe.connection.DesignContext, &probe.records.AttributeRec);
    }
    Design_Close(probe.connection);
    return found;
}

}  // namespace orlune::test
