// Bytes as a design file: the loader answers one of its statuses with a
// one-line reason, never crashes or hangs; a design it accepts survives a
// save and a reload unchanged, and a conversation can walk all of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/host.h"
#include "host/load.h"
#include "host/save.h"

namespace {

using namespace orlune::host;

int32_t load(const std::string& text, std::unique_ptr<Design>& design, std::string& reason) {
    return loadDesign(std::make_shared<const std::string>(text), "fuzz.json", design, reason);
}

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<Design> design;
    std::string reason;
    const int32_t status = load(text, design, reason);
    require(status == kOk || status == kNotJson || status == kInvalidDesign || status == kIncompatible);
    require((status == kOk) == reason.empty());
    require(reason.find('\n') == std::string::npos);
    if (status != kOk) return 0;

    // Saved and read again, the design is the same design: the same text.
    const std::string saved = designText(*design);
    std::unique_ptr<Design> again;
    require(load(saved, again, reason) == kOk);
    require(designText(*again) == saved);
    const DesignSummary a = summarize(*design);
    const DesignSummary b = summarize(*again);
    require(a.sheets == b.sheets && a.components == b.components && a.items == b.items && a.nets == b.nets &&
            a.buses == b.buses);
    return 0;
}
