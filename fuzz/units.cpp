// A distance as a person types it, for each unit code: Read_Number,
// Round_Even and To_DbUnits never crash, and a converted value is what the
// number read, scaled and rounded, gives.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "dbx/platform.h"
#include "run/run.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the unit code, the rest is the text.
    const auto unit = static_cast<int16_t>(static_cast<int8_t>(data[0]) % 6);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const double number = orlune::Read_Number(text);
    require(!std::isnan(number));
    const double rounded = orlune::Round_Even(number);
    require(!std::isfinite(number) || std::fabs(rounded - number) <= 0.5);

    static SilentPlatform platform;
    orlune::Run run(platform);
    run.settings.UnitCode = unit;
    const std::optional<int32_t> db = orlune::To_DbUnits(run, text);
    if (db && (unit == 1 || unit == 2 || unit == 4)) {
        const double factor = unit == 1 ? 2540.0 : unit == 2 ? 100000.0 : 2540000.0;
        const double exact = number * factor;
        require(std::isfinite(exact));
        require(std::fabs(static_cast<double>(*db) - exact) <= 0.5 + 1e-9 * std::fabs(exact));
    }
    if (db && !(unit == 1 || unit == 2 || unit == 4)) {
        require(orlune::Whole_To_Db(text) == db);
    }
    (void)orlune::Trim_Nul(text);
    return 0;
}
