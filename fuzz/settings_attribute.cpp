// The value of the settings attribute "ORLUNE", as another program may have
// left it in a design. Read field by field as start-up reads it, Next_Field
// always ends, moves forward and never gives more than a field's width; and
// the whole start-up over a design that carries the value never crashes and
// shows on the settings page the distances it puts in force.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>

#include "dbx/platform.h"
#include "host/cp1252.h"
#include "host/host.h"
#include "host/json.h"
#include "run/run.h"
#include "settings/startup.h"
#include "settings/units.h"

namespace {

class SilentPlatform : public orlune::Platform {
public:
    orlune::Answer messageBox(std::string_view, std::string_view, orlune::Icon, orlune::Buttons) override {
        return orlune::Answer::Ok;
    }
};

void require(bool condition) {
    if (!condition) std::abort();
}

// Field by field, as start-up reads the stored value.
void readFields(orlune::Run& run, std::string_view value) {
    // The record's value field is 256 bytes wide.
    run.settings.FieldValue = orlune::Trim_Nul(value.substr(0, 256));
    run.settings.FieldPos = 0;
    for (int field = 0;; ++field) {
        const int32_t before = run.settings.FieldPos;
        if (orlune::Next_Field(run) == 0) break;
        require(run.settings.FieldPos > before &&
                static_cast<size_t>(run.settings.FieldPos) <= run.settings.FieldValue.size());
        require(run.settings.FieldText.size() <= 10);
        if (field == 0) {
            const double unit = orlune::Round_Even(orlune::Read_Number(run.settings.FieldText));
            require(!std::isnan(unit));
        } else {
            (void)orlune::To_DbUnits(run, run.settings.FieldText);
        }
    }
}

// A design of one sheet whose settings attribute holds `value` (its bytes
// taken as Windows-1252, as the record would carry them).
std::string designWith(std::string_view value, int units) {
    std::string escaped;
    orlune::host::JsonWriter w(escaped);
    w.string(orlune::host::fromCp1252(value));
    return "{\"format\": \"orlune-design\", \"version\": 1, \"units\": " + std::to_string(units) +
           ", \"workspace\": [1000000, 1000000], \"textStyles\": [{\"number\": 0, \"name\": \"S\", \"height\": 10, "
           "\"charWidth\": 6}], \"sheets\": [{\"id\": 1, \"name\": \"A\"}], \"attributes\": [{\"name\": \"ORLUNE\", "
           "\"value\": " +
           escaped + "}]}\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    static SilentPlatform platform;
    {
        orlune::Run run(platform);
        run.settings.UnitCode = 1;
        readFields(run, value);
    }

    // The whole start-up, on a copy held in memory (nothing is written).
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("orlune-fuzz-settings-" + std::to_string(::getpid()) + ".json");
    const int units = size > 0 ? (data[0] % 2 == 0 ? 1 : 2) : 1;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << designWith(value, units);
    }
    orlune::host::Host host;
    host.setDesignFile(file.string());
    host.setReadOnly(true);
    orlune::host::HostBinding binding(host);
    orlune::Run run(platform);
    try {
        orlune::Form_Load(run);
    } catch (const orlune::ProgramEnded&) {
        std::abort();  // the design opens: start-up must not end the program
    }
    // The settings page shows the distances in force.
    const auto shows = [&](const char* box, int32_t inForce) {
        const std::optional<int32_t> db = orlune::To_DbUnits(run, run.form.at(box).caption);
        return db && *db == inForce;
    };
    require(shows("Text1", run.settings.LeftStart) && shows("Text2", run.settings.RightStart) &&
            shows("Text3", run.settings.MaxRowLength));
    return 0;
}
