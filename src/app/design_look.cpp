#include "app/design_look.h"

#include <algorithm>

#include "dbx/dbx32.h"
#include "host/design.h"
#include "host/host.h"
#include "host/host_impl.h"

namespace orlune::app {

namespace {
// The settings page asks for exactly this many style numbers.
constexpr int32_t kStyleNumbers = 100;
}  // namespace

std::optional<DesignLook> lookIntoDesign(const std::string& path) {
    host::Host host;
    host.setReadOnly(true);
    host.setDesignFile(path);
    return lookIntoDesign(host);
}

std::optional<DesignLook> lookIntoDesign(host::Host& host) {
    host::HostBinding binding(host);

    dbx::DesignContext context{};
    if (TOpenDesign(0, 16000, "SCH", &context) != 0) {
        TCloseDesign(&context, "");
        return std::nullopt;
    }
    DesignLook look;
    dbx::DesignInfoRecord info{};
    if (TGetDesignInfo(&context, &info) == 0) look.unitCode = static_cast<int16_t>(info.units);
    for (int32_t n = 0; n < kStyleNumbers; ++n) {
        dbx::TextStyleRecord style{};
        // As the list holds them: up to the first NUL, spaces kept, so that a
        // name found here is found in the list too.
        if (TGetTextStyle(&context, n, &style) == 0) look.styleNames.push_back(dbx::readField(style.styleName));
    }
    // Read in place: handing the design out would cost the next
    // conversation its indexes.
    if (const host::Design* design = host.impl().design.get()) {
        std::vector<const host::TextStyle*> styles;
        for (const host::TextStyle& style : design->textStyles) {
            if (style.number >= 0 && style.number < kStyleNumbers) styles.push_back(&style);
        }
        std::sort(styles.begin(), styles.end(),
                  [](const host::TextStyle* a, const host::TextStyle* b) { return a->number < b->number; });
        for (const host::TextStyle* style : styles)
            look.styleNamesAsInFile.push_back(style->name);
        look.refDes.reserve(design->components.size());
        for (const host::Component& c : design->components)
            look.refDes.push_back(c.refDes);
    }
    TCloseDesign(&context, "");
    return look;
}

}  // namespace orlune::app
