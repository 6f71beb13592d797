#include "host/conversation.h"

#include <atomic>
#include <utility>

#include "host/cp1252.h"
#include "host/design.h"

namespace orlune::host {

namespace {
// Serials are unique across every host of the process, so a context of one
// host (or of an ended conversation) never opens another's.
std::atomic<uint32_t> lastSerial{0};

// Whether a Windows-1252 text is ASCII, and so the same in UTF-8.
bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// A name as it passes the DBX boundary, looked up by the design's UTF-8.
// Names in an index hold only characters that Windows-1252 has, so the
// conversion is one to one (an unassigned byte becomes U+FFFD, which no such
// name holds).
int32_t lookUp(const NameIndex& index, std::string_view cp1252) {
    const auto found = isAscii(cp1252) ? index.find(cp1252) : index.find(fromCp1252(cp1252));
    return found == index.end() ? -1 : found->second;
}

}  // namespace

void Conversation::start(Design& design) {
    stop();
    design_ = &design;
    do {
        serial_ = ++lastSerial;
    } while (serial_ == 0);
    if (indexed_ == &design) return;
    forget();
    indexed_ = &design;

    itemsBySheet_.resize(design.sheets.size());
    for (std::size_t i = 0; i < design.sheets.size(); ++i)
        sheetIndex_.emplace(design.sheets[i].id, i);
    for (std::size_t i = 0; i < design.textStyles.size(); ++i)
        stylesByNumber_.emplace(design.textStyles[i].number, i);
    nodesByNet_.reserve(design.nets.size());
    for (const Net& net : design.nets)
        nodesByNet_[net.id];
    busesByName_.reserve(design.buses.size());
    for (std::size_t i = 0; i < design.buses.size(); ++i)
        busesByName_.emplace(design.buses[i].name, static_cast<int32_t>(i));

    // Items come grouped by sheet: the last sheet found saves most lookups.
    int32_t lastSheet = 0;
    std::vector<ItemRef>* lastList = nullptr;
    const auto sheetList = [&](int32_t sheet) -> std::vector<ItemRef>* {
        if (lastList && sheet == lastSheet) return lastList;
        const auto found = sheetIndex_.find(sheet);
        if (found == sheetIndex_.end()) return nullptr;
        lastSheet = sheet;
        lastList = &itemsBySheet_[found->second];
        return lastList;
    };

    componentsByRefDes_.reserve(design.components.size());
    for (std::size_t c = 0; c < design.components.size(); ++c) {
        const Component& comp = design.components[c];
        const auto index = static_cast<int32_t>(c);
        componentsByRefDes_.emplace(comp.refDes, index);
        if (auto* list = sheetList(comp.symbol.sheet)) list->push_back({ItemRef::Kind::Symbol, index, 0});
        if (comp.symbol.selected) selection_.push_back({ItemRef::Kind::Symbol, index, 0});
        for (std::size_t p = 0; p < comp.pins.size(); ++p) {
            if (comp.pins[p].net == 0) continue;
            const Pin& pin = comp.pins[p];
            nodesByNet_[pin.net].push_back(
                {{ItemRef::Kind::Pin, index, static_cast<int32_t>(p)}, pin.x, pin.y, pin.sheet, pin.net});
        }
    }
    for (std::size_t i = 0; i < design.items.size(); ++i) {
        const Item& item = design.items[i];
        if (item.deleted) continue;
        const ItemRef ref{ItemRef::Kind::Item, static_cast<int32_t>(i), 0};
        if (auto* list = sheetList(item.sheet)) list->push_back(ref);
        if (item.selected) selection_.push_back(ref);
    }
}

void Conversation::stop() {
    resetWalks();
    design_ = nullptr;
    serial_ = 0;
}

void Conversation::forget() {
    indexed_ = nullptr;
    sheetIndex_.clear();
    itemsBySheet_.clear();
    nodesByNet_.clear();
    componentsByRefDes_.clear();
    busesByName_.clear();
    stylesByNumber_.clear();
    lastStyle_ = nullptr;
    extents_.clear();
    selection_.clear();
}

void Conversation::resetWalks() {
    layers.end();
    layerItems.end();
    components.end();
    selectedItems.end();
    nodes.end();
    busNets.end();
    compAttributes.end();
    designAttributes.end();
}

const std::vector<ItemRef>* Conversation::sheetItems(int32_t sheet) const {
    const auto found = sheetIndex_.find(sheet);
    return found == sheetIndex_.end() ? nullptr : &itemsBySheet_[found->second];
}

const std::vector<NetNode>* Conversation::netNodes(int32_t net) const {
    if (net == 0) return nullptr;
    const auto found = nodesByNet_.find(net);
    return found == nodesByNet_.end() ? nullptr : &found->second;
}

int32_t Conversation::componentByRefDes(std::string_view cp1252) const {
    return lookUp(componentsByRefDes_, cp1252);
}

int32_t Conversation::busByName(std::string_view cp1252) const {
    return lookUp(busesByName_, cp1252);
}

const TextStyle* Conversation::styleByNumber(int32_t number) const {
    // The last style asked for first: a walk measures text after text of
    // mostly one style.
    if (lastStyle_ && lastStyle_->number == number) return lastStyle_;
    const auto found = stylesByNumber_.find(number);
    if (found == stylesByNumber_.end()) return nullptr;
    lastStyle_ = &design_->textStyles[found->second];
    return lastStyle_;
}

const TextStyle* Conversation::measuringStyle(int32_t number) const {
    if (const TextStyle* style = styleByNumber(number)) return style;
    return design_->textStyles.empty() ? nullptr : &design_->textStyles.front();
}

const TextExtent& Conversation::textExtent(std::size_t index) const {
    if (index >= extents_.size()) extents_.resize(design_->items.size(), TextExtent{-1, 0});
    TextExtent& extent = extents_[index];
    if (extent.width < 0) {
        const Item& item = design_->items[index];
        extent = measureText(item.text, measuringStyle(item.style));
    }
    return extent;
}

std::size_t Conversation::appendItem(Item item) {
    const std::size_t index = design_->items.size();
    const int32_t sheet = item.sheet;
    design_->items.push_back(std::move(item));
    itemsBySheet_[sheetIndex_.at(sheet)].push_back({ItemRef::Kind::Item, static_cast<int32_t>(index), 0});
    return index;
}

}  // namespace orlune::host
