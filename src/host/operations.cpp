// The 32 DBX operations over the design of the open conversation.
//
// Every operation answers a status and fills the record it is given; it
// keeps nothing of the program's own. Text crosses the boundary as
// Windows-1252: texts delivered are converted with toCp1252 (a character
// that Windows-1252 cannot hold becomes "?") and written as text, NUL and
// padding spaces; texts received are read by the field rule (up to the first
// NUL, or the whole field less its padding spaces when it holds none) and
// converted back to UTF-8.
//
// Records carry the identity of what they describe in words the program
// does not read, so that TDeleteItem, TDeleteText and the attribute changes
// find the exact object:
//   ItemRecord.reservedWords[0..3]  conversation serial, ItemRef kind,
//                                   index, pin index
//   TextRecord.reserved0            index in Design::items + 1
//   AttributeRecord.reserved0       index in its attribute list + 1
//   ComponentRecord.reserved0,
//   SymbolRecord.reserved0          index in Design::components + 1
// The identity is verified against the record's visible fields before it is
// used; when it does not match, the object is looked up by those fields.
//
// Item kinds delivered: 13 text (textPart), 45 bus (busPart), 35 symbol
// (symbolPart), 14 wire and 9 line (kind and identity only), and 7 for a
// net node (a pin: pinPart with location, layerId and netId).
#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dbx/dbx32.h"
#include "host/cp1252.h"
#include "host/host_impl.h"
#include "host/text_extent.h"

namespace orlune::host {
namespace {

using namespace orlune::dbx;

constexpr int32_t kItemWire = 14;
constexpr int32_t kItemLine = 9;
constexpr int32_t kItemPin = 7;

// Text fields delivered with every text item; the program writes the same
// values when it prepares its trial texts, so copying a delivered textPart
// into its TextRecord leaves them as they were.
constexpr int32_t kTextFlag1 = 0;
constexpr int32_t kTextFlag2 = 1;

// Width at which a text argument (a refDes, a bus name) is read: that of the
// record field it comes from.
constexpr std::size_t kNameWidth = 100;

// --- The conversation context -------------------------------------------

constexpr uint32_t kContextMagic = 0x484C524F;  // "ORLH"

void writeContext(DesignContext& context, uint32_t serial) {
    std::memset(context.bytes, 0, sizeof context.bytes);
    std::memcpy(context.bytes, &kContextMagic, sizeof kContextMagic);
    std::memcpy(context.bytes + 4, &serial, sizeof serial);
}

bool contextNames(const DesignContext& context, uint32_t serial) {
    uint32_t magic = 0;
    uint32_t held = 0;
    std::memcpy(&magic, context.bytes, sizeof magic);
    std::memcpy(&held, context.bytes + 4, sizeof held);
    return magic == kContextMagic && held == serial && serial != 0;
}

// --- Entering an operation -------------------------------------------------

Host* enter(std::string_view operation) {
    Host* host = currentHost();
    if (host && host->onCall) host->onCall(operation);
    return host;
}

struct Open {
    Host& host;
    Design& design;
    Conversation& conversation;
};

// Runs `body` when `context` names the open conversation of the calling
// thread's host; otherwise answers kNotOpen.
template <typename Body>
int32_t withConversation(std::string_view operation, const DesignContext* context, Body&& body) {
    Host* host = enter(operation);
    if (!host || !context) return kNotOpen;
    Conversation& conversation = host->impl().conversation;
    if (!conversation.active() || !contextNames(*context, conversation.serial())) return kNotOpen;
    return body(Open{*host, conversation.design(), conversation});
}

// --- Reading texts from the program -----------------------------------------

std::string_view fieldText(const char* field, std::size_t width) {
    if (const void* nul = std::memchr(field, '\0', width))
        return {field, static_cast<std::size_t>(static_cast<const char*>(nul) - field)};
    std::size_t n = width;
    while (n > 0 && field[n - 1] == ' ')
        --n;
    return {field, n};
}

template <std::size_t N>
std::string_view fieldText(const char (&field)[N]) {
    return fieldText(field, N);
}

// A text argument, read as the field it comes from (never past its NUL).
std::string_view argumentText(const char* text) {
    if (!text) return {};
    const std::size_t n = strnlen(text, kNameWidth);
    return n < kNameWidth ? std::string_view(text, n) : fieldText(text, kNameWidth);
}

// --- Delivering texts to the program ----------------------------------------

// Eight bytes at a time: every text delivered is checked.
bool isAscii(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    uint64_t high = 0;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word = 0;
        std::memcpy(&word, p, 8);
        high |= word;
    }
    for (; n > 0; ++p, --n)
        high |= static_cast<unsigned char>(*p);
    return (high & 0x8080808080808080ULL) == 0;
}

template <std::size_t N>
void putText(char (&field)[N], std::string_view utf8) {
    // Most texts are ASCII, which Windows-1252 holds as it is: no copy.
    if (isAscii(utf8)) {
        writeField(field, utf8);
    } else {
        writeField(field, toCp1252(utf8));
    }
}

// What the program reads back from a field of width N holding `utf8`: the
// form in which a record names a text it was given.
template <std::size_t N>
std::string deliveredText(std::string_view utf8) {
    char field[N];
    putText(field, utf8);
    return std::string(fieldText(field));
}

template <typename Record>
void clear(Record& record) {
    std::memset(static_cast<void*>(&record), 0, sizeof record);
}

// --- Filling records, one helper per record -----------------------------------
// The helpers of the parts an item comes in take `clean`: the part holds no
// byte but those that the same helper wrote before, all of which it writes
// again, so it need not be cleared (see clearItem).

void fillText(TextRecord& record, const Conversation& conversation, const Item& item, std::size_t index,
              bool clean = false) {
    if (!clean) clear(record);
    record.reserved0 = static_cast<int32_t>(index + 1);
    record.textStyleId = item.style;
    putText(record.text, item.text);
    record.layerId = item.sheet;
    record.justification = item.justification;
    record.location = {item.x, item.y};
    record.bounds = textBounds(item.x, item.y, item.justification, conversation.textExtent(index));
    record.textFlag1 = kTextFlag1;
    record.textFlag2 = kTextFlag2;
}

void fillBus(BusRecord& record, const Item& item, bool clean = false) {
    if (!clean) clear(record);
    record.x1 = item.x1;
    record.y1 = item.y1;
    record.x2 = item.x2;
    record.y2 = item.y2;
    putText(record.busName, item.bus);
}

void fillSymbol(SymbolRecord& record, const Component& component, std::size_t index, bool clean = false) {
    if (!clean) clear(record);
    record.reserved0 = static_cast<int32_t>(index + 1);
    putText(record.refDes, component.refDes);
    record.flipped = component.symbol.flipped ? 1 : 0;
    record.highlighted = component.symbol.highlight != 0 ? 1 : 0;
}

void fillPin(PinRecord& record, const Pin& pin, bool clean = false) {
    if (!clean) clear(record);
    record.location = {pin.x, pin.y};
    record.layerId = pin.sheet;
    record.netId = pin.net;
}

void fillComponent(ComponentRecord& record, const Component& component, std::size_t index) {
    clear(record);
    record.reserved0 = static_cast<int32_t>(index + 1);
    putText(record.refDes, component.refDes);
    putText(record.compType, component.type);
    record.compKind = component.kind;
}

void fillAttribute(AttributeRecord& record, const Attribute& attribute, std::size_t index) {
    clear(record);
    record.reserved0 = static_cast<int32_t>(index + 1);
    putText(record.name, attribute.name);
    putText(record.value, attribute.value);
    record.units = attribute.units.value_or(0);
}

void fillLayer(LayerRecord& record, const Sheet& sheet) {
    clear(record);
    record.layerId = sheet.id;
}

void fillNet(NetRecord& record, int32_t net) {
    clear(record);
    record.netId = net;
}

int32_t itemKindOf(const Item& item) {
    switch (item.type) {
        case ItemType::Text:
            return kItemText;
        case ItemType::Bus:
            return kItemBus;
        case ItemType::Wire:
            return kItemWire;
        case ItemType::Line:
            return kItemLine;
    }
    return 0;
}

// The part of an ItemRecord that a delivery of `itemKind` fills, or null.
void* partOf(ItemRecord& record, int32_t itemKind) {
    switch (itemKind) {
        case kItemText:
            return &record.textPart;
        case kItemBus:
            return &record.busPart;
        case kItemSymbol:
            return &record.symbolPart;
        case kItemPin:
            return &record.pinPart;
        default:
            return nullptr;
    }
}

std::size_t partSize(int32_t itemKind) {
    switch (itemKind) {
        case kItemText:
            return sizeof(TextRecord);
        case kItemBus:
            return sizeof(BusRecord);
        case kItemSymbol:
            return sizeof(SymbolRecord);
        case kItemPin:
            return sizeof(PinRecord);
        default:
            return 0;
    }
}

// Clears words by plain stores: the compiler makes a fill or copy of a few
// dozen bytes a string instruction, which cost more than the rest of a
// net-node step.
template <std::size_t... I>
void clearWords(int32_t* words, std::index_sequence<I...>) {
    ((words[I] = 0), ...);
}

// Clears what earlier deliveries wrote, so that no byte of an earlier item
// stays: the leading words, and the part that the last delivery filled when
// the record still names a delivery of this conversation, else all four parts
// an item comes in. Afterwards the part of `next` holds nothing but what its
// helper writes again, so the helper need not clear it. The record's other
// parts are never written. Clearing the whole 9.7 KB for every item, or even
// the four parts, made the walks of one update cost more than reading and
// writing the design.
void clearItem(ItemRecord& record, const Conversation& conversation, int32_t next) {
    // Most often the record holds an item of the same kind delivered just
    // before, which the helper overwrites: only the leading words remain.
    if (record.itemKind == next && record.reservedWords[0] == static_cast<int32_t>(conversation.serial()) &&
        record.reservedWords[1] == static_cast<int32_t>(next == kItemSymbol ? ItemRef::Kind::Symbol
                                                        : next == kItemPin  ? ItemRef::Kind::Pin
                                                                            : ItemRef::Kind::Item)) {
        clearWords(record.reservedWords, std::make_index_sequence<std::size(ItemRecord{}.reservedWords)>{});
        return;
    }
    const auto kind = static_cast<ItemRef::Kind>(record.reservedWords[1]);
    const int32_t itemKind = record.itemKind;
    const bool ours = record.reservedWords[0] == static_cast<int32_t>(conversation.serial()) &&
                      ((kind == ItemRef::Kind::Symbol && itemKind == kItemSymbol) ||
                       (kind == ItemRef::Kind::Pin && itemKind == kItemPin) ||
                       (kind == ItemRef::Kind::Item && (itemKind == kItemText || itemKind == kItemBus ||
                                                        itemKind == kItemWire || itemKind == kItemLine)));
    if (ours) {
        if (void* part = partOf(record, itemKind); part && itemKind != next) std::memset(part, 0, partSize(itemKind));
    } else {
        for (const int32_t each : {kItemText, kItemBus, kItemSymbol, kItemPin})
            std::memset(partOf(record, each), 0, partSize(each));
    }
    record.itemKind = 0;
    std::memset(record.reservedWords, 0, sizeof record.reservedWords);
}

void fillItem(ItemRecord& record, const Conversation& conversation, const ItemRef& ref) {
    const Design& design = conversation.design();
    const auto index = static_cast<std::size_t>(ref.index);
    const int32_t next = ref.kind == ItemRef::Kind::Symbol ? kItemSymbol
                         : ref.kind == ItemRef::Kind::Pin  ? kItemPin
                                                           : itemKindOf(design.items[index]);
    clearItem(record, conversation, next);
    record.reservedWords[0] = static_cast<int32_t>(conversation.serial());
    record.reservedWords[1] = static_cast<int32_t>(ref.kind);
    record.reservedWords[2] = ref.index;
    record.reservedWords[3] = ref.pin;
    switch (ref.kind) {
        case ItemRef::Kind::Symbol:
            record.itemKind = kItemSymbol;
            fillSymbol(record.symbolPart, design.components[index], index, true);
            return;
        case ItemRef::Kind::Pin: {
            const Pin& pin = design.components[index].pins[static_cast<std::size_t>(ref.pin)];
            record.itemKind = kItemPin;
            fillPin(record.pinPart, pin, true);
            return;
        }
        case ItemRef::Kind::Item: {
            const Item& item = design.items[index];
            record.itemKind = itemKindOf(item);
            if (item.type == ItemType::Text) fillText(record.textPart, conversation, item, index, true);
            if (item.type == ItemType::Bus) fillBus(record.busPart, item, true);
            return;
        }
    }
}

// A net node: the pin's place comes from the node's own copy.
void fillNode(ItemRecord& record, const Conversation& conversation, const NetNode& node) {
    // The usual case, a record holding the node delivered before, is checked
    // here without a call: a net-node walk is the program's most frequent.
    const bool lastWasNode = record.itemKind == kItemPin &&
                             record.reservedWords[0] == static_cast<int32_t>(conversation.serial()) &&
                             record.reservedWords[1] == static_cast<int32_t>(ItemRef::Kind::Pin);
    if (lastWasNode) {
        // Words 0 to 3 are written below.
        clearWords(record.reservedWords + 4, std::make_index_sequence<std::size(ItemRecord{}.reservedWords) - 4>{});
    } else {
        clearItem(record, conversation, kItemPin);
    }
    record.reservedWords[0] = static_cast<int32_t>(conversation.serial());
    record.reservedWords[1] = static_cast<int32_t>(node.ref.kind);
    record.reservedWords[2] = node.ref.index;
    record.reservedWords[3] = node.ref.pin;
    record.itemKind = kItemPin;
    record.pinPart.location = {node.x, node.y};
    record.pinPart.layerId = node.sheet;
    record.pinPart.netId = node.net;
}

// --- Walks --------------------------------------------------------------------

// An item walk skips the items deleted in this conversation.
auto liveItems(const Design& design) {
    return [&design](const ItemRef& ref) {
        return ref.kind != ItemRef::Kind::Item || !design.items[static_cast<std::size_t>(ref.index)].deleted;
    };
}

// The walks over sheets, components, attributes and bus nets skip nothing.
constexpr auto kEveryEntry = [](const auto&) { return true; };

// One step of `walk`: the next entry that `usable` accepts goes to
// `deliver(entry, index)`; kWalkEnded when none is left.
template <typename T, typename Usable, typename Deliver>
int32_t stepWalk(Walk<T>& walk, Usable&& usable, Deliver&& deliver) {
    const T* entry = walk.step(usable);
    if (!entry) return kWalkEnded;
    deliver(*entry, walk.index());
    return kOk;
}

template <typename T, typename Deliver>
int32_t stepWalk(Walk<T>& walk, Deliver&& deliver) {
    return stepWalk(walk, kEveryEntry, deliver);
}

// A First operation: begins `walk` over `list` and takes its first step;
// a null list (an unknown layer, net, bus, component) ends the walk.
template <typename T, typename Usable, typename Deliver>
int32_t firstOf(Walk<T>& walk, const std::vector<T>* list, Usable&& usable, Deliver&& deliver) {
    if (!list) {
        walk.end();
        return kNotFound;
    }
    walk.begin(*list);
    return stepWalk(walk, usable, deliver);
}

template <typename T, typename Deliver>
int32_t firstOf(Walk<T>& walk, const std::vector<T>* list, Deliver&& deliver) {
    return firstOf(walk, list, kEveryEntry, deliver);
}

// Item walks (layer items, selection, net nodes) share their delivery.
int32_t firstItem(const Open& open, Walk<ItemRef>& walk, const std::vector<ItemRef>* list, ItemRecord* record) {
    if (!record) return kBadArgument;
    return firstOf(walk, list, liveItems(open.design),
                   [&](const ItemRef& ref, std::size_t) { fillItem(*record, open.conversation, ref); });
}

int32_t nextItem(const Open& open, Walk<ItemRef>& walk, ItemRecord* record) {
    if (!record) return kBadArgument;
    return stepWalk(walk, liveItems(open.design),
                    [&](const ItemRef& ref, std::size_t) { fillItem(*record, open.conversation, ref); });
}

// --- Finding what a record describes ----------------------------------------------

const Component* componentNamed(const Open& open, std::string_view refDes, std::size_t* index = nullptr) {
    const int32_t found = open.conversation.componentByRefDes(refDes);
    if (found < 0) return nullptr;
    if (index) *index = static_cast<std::size_t>(found);
    return &open.design.components[static_cast<std::size_t>(found)];
}

// Does the live text item describe what `record` shows (layer, place, text)?
bool textMatches(const Item& item, const TextRecord& record) {
    return item.type == ItemType::Text && !item.deleted && item.sheet == record.layerId &&
           item.x == record.location.x && item.y == record.location.y &&
           deliveredText<sizeof record.text>(item.text) == fieldText(record.text);
}

// The text item that `record` describes: the one it names, when it still
// matches, else the first live text of the same layer, place and text.
std::optional<std::size_t> findText(const Open& open, const TextRecord& record) {
    const auto& items = open.design.items;
    if (record.reserved0 > 0 && static_cast<std::size_t>(record.reserved0) <= items.size()) {
        const auto index = static_cast<std::size_t>(record.reserved0 - 1);
        if (textMatches(items[index], record)) return index;
    }
    if (const auto* list = open.conversation.sheetItems(record.layerId)) {
        for (const ItemRef& ref : *list) {
            if (ref.kind != ItemRef::Kind::Item) continue;
            const auto index = static_cast<std::size_t>(ref.index);
            if (textMatches(items[index], record)) return index;
        }
    }
    return std::nullopt;
}

bool busMatches(const Item& item, const BusRecord& record) {
    return item.x1 == record.x1 && item.y1 == record.y1 && item.x2 == record.x2 && item.y2 == record.y2 &&
           deliveredText<sizeof record.busName>(item.bus) == fieldText(record.busName);
}

// The free item that an ItemRecord, as a walk left it, describes. A text
// that the identity does not find is looked up by its textPart.
std::optional<std::size_t> findItem(const Open& open, const ItemRecord& record) {
    const auto& items = open.design.items;
    const bool named = record.reservedWords[0] == static_cast<int32_t>(open.conversation.serial()) &&
                       record.reservedWords[1] == static_cast<int32_t>(ItemRef::Kind::Item) &&
                       record.reservedWords[2] >= 0 && static_cast<std::size_t>(record.reservedWords[2]) < items.size();
    if (named) {
        const auto index = static_cast<std::size_t>(record.reservedWords[2]);
        const Item& item = items[index];
        const bool matches = !item.deleted && itemKindOf(item) == record.itemKind &&
                             (item.type != ItemType::Text || textMatches(item, record.textPart)) &&
                             (item.type != ItemType::Bus || busMatches(item, record.busPart));
        if (matches) return index;
    }
    if (record.itemKind == kItemText) return findText(open, record.textPart);
    return std::nullopt;
}

// The attribute of `list` that `record` describes: the one its identity
// names when the name still matches, else the first of that name.
std::optional<std::size_t> findAttribute(const std::vector<Attribute>& list, const AttributeRecord& record) {
    const std::string_view name = fieldText(record.name);
    if (record.reserved0 > 0 && static_cast<std::size_t>(record.reserved0) <= list.size()) {
        const auto index = static_cast<std::size_t>(record.reserved0 - 1);
        if (deliveredText<sizeof record.name>(list[index].name) == name) return index;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (deliveredText<sizeof record.name>(list[i].name) == name) return i;
    return std::nullopt;
}

// Gives `attribute` the value (and, for design attributes, the units) that
// `record` carries; the design changes only when the program changed what it
// was given, so an unchanged value keeps characters Windows-1252 lacks.
void modifyAttribute(Design& design, Attribute& attribute, const AttributeRecord& record,
                     std::optional<int32_t> units) {
    const std::string_view value = fieldText(record.value);
    if (deliveredText<sizeof record.value>(attribute.value) != value) {
        attribute.value = fromCp1252(value);
        design.changed = true;
    }
    if (units && attribute.units != units) {
        attribute.units = units;
        design.changed = true;
    }
}

// A new attribute from the name and value of `record`; nullopt when the
// record names none.
std::optional<Attribute> newAttribute(const AttributeRecord& record, std::optional<int32_t> units) {
    const std::string_view name = fieldText(record.name);
    if (name.empty()) return std::nullopt;
    Attribute attribute;
    attribute.name = fromCp1252(name);
    attribute.value = fromCp1252(fieldText(record.value));
    attribute.units = units;
    return attribute;
}

}  // namespace
}  // namespace orlune::host

using namespace orlune::host;

extern "C" {

int32_t TOpenDesign(int32_t mode, int32_t version, const char* designKind, DesignContext* context) {
    Host* host = enter("TOpenDesign");
    if (!host) return kNoDesign;
    if (version != 16000 || !designKind || std::strcmp(designKind, "SCH") != 0) return kIncompatible;
    if (mode != 0 || !context) return kBadArgument;
    Host::Impl& impl = host->impl();
    // A second open is refused without touching the open conversation, nor
    // the caller's context when it names that conversation: it can still be
    // used and closed.
    if (impl.conversationOpen) {
        impl.openError = "a conversation is already open";
        if (!contextNames(*context, impl.conversation.serial())) std::memset(context->bytes, 0, sizeof context->bytes);
        return kNotOpen;
    }
    const int32_t status = impl.open();
    if (status == kOk && !impl.conversation.active() && impl.design) impl.conversation.start(*impl.design);
    if (status != kOk || !impl.conversation.active()) {
        std::memset(context->bytes, 0, sizeof context->bytes);
        return status != kOk ? status : kNoDesign;
    }
    writeContext(*context, impl.conversation.serial());
    return kOk;
}

int32_t TCloseDesign(DesignContext* context, const char*) {
    return withConversation("TCloseDesign", context, [&](const Open& open) {
        const int32_t status = open.host.impl().close();
        if (open.conversation.active()) open.conversation.stop();
        return status;
    });
}

int32_t TGetDesignInfo(DesignContext* context, DesignInfoRecord* info) {
    return withConversation("TGetDesignInfo", context, [&](const Open& open) -> int32_t {
        if (!info) return kBadArgument;
        clear(*info);
        info->units = open.design.units;
        info->workspaceExtent = {open.design.workspaceX, open.design.workspaceY};
        return kOk;
    });
}

int32_t TGetTextStyle(DesignContext* context, int32_t styleNumber, TextStyleRecord* style) {
    return withConversation("TGetTextStyle", context, [&](const Open& open) -> int32_t {
        if (!style) return kBadArgument;
        const TextStyle* found = open.conversation.styleByNumber(styleNumber);
        if (!found) return kNotFound;
        clear(*style);
        style->styleId = found->id;
        putText(style->styleName, found->name);
        return kOk;
    });
}

// --- Layers and their items ---------------------------------------------------

int32_t TGetFirstLayer(DesignContext* context, LayerRecord* layer) {
    return withConversation("TGetFirstLayer", context, [&](const Open& open) -> int32_t {
        if (!layer) return kBadArgument;
        return firstOf(open.conversation.layers, &open.design.sheets,
                       [&](const Sheet& sheet, std::size_t) { fillLayer(*layer, sheet); });
    });
}

int32_t TGetNextLayer(DesignContext* context, LayerRecord* layer) {
    return withConversation("TGetNextLayer", context, [&](const Open& open) -> int32_t {
        if (!layer) return kBadArgument;
        return stepWalk(open.conversation.layers, [&](const Sheet& sheet, std::size_t) { fillLayer(*layer, sheet); });
    });
}

int32_t TGetFirstLayerItem(DesignContext* context, int32_t layerId, ItemRecord* item) {
    return withConversation("TGetFirstLayerItem", context, [&](const Open& open) {
        return firstItem(open, open.conversation.layerItems, open.conversation.sheetItems(layerId), item);
    });
}

int32_t TGetNextLayerItem(DesignContext* context, ItemRecord* item) {
    return withConversation("TGetNextLayerItem", context,
                            [&](const Open& open) { return nextItem(open, open.conversation.layerItems, item); });
}

// --- Components, selection, nets and buses --------------------------------------

int32_t TGetFirstComponent(DesignContext* context, ComponentRecord* component) {
    return withConversation("TGetFirstComponent", context, [&](const Open& open) -> int32_t {
        if (!component) return kBadArgument;
        return firstOf(open.conversation.components, &open.design.components,
                       [&](const Component& c, std::size_t index) { fillComponent(*component, c, index); });
    });
}

int32_t TGetNextComponent(DesignContext* context, ComponentRecord* component) {
    return withConversation("TGetNextComponent", context, [&](const Open& open) -> int32_t {
        if (!component) return kBadArgument;
        return stepWalk(open.conversation.components,
                        [&](const Component& c, std::size_t index) { fillComponent(*component, c, index); });
    });
}

int32_t TGetFirstSelectedItem(DesignContext* context, ItemRecord* item) {
    return withConversation("TGetFirstSelectedItem", context, [&](const Open& open) {
        return firstItem(open, open.conversation.selectedItems, &open.conversation.selection(), item);
    });
}

int32_t TGetNextSelectedItem(DesignContext* context, ItemRecord* item) {
    return withConversation("TGetNextSelectedItem", context,
                            [&](const Open& open) { return nextItem(open, open.conversation.selectedItems, item); });
}

int32_t TGetFirstNetNode(DesignContext* context, int32_t netId, ItemRecord* item) {
    return withConversation("TGetFirstNetNode", context, [&](const Open& open) -> int32_t {
        if (!item) return kBadArgument;
        return firstOf(open.conversation.nodes, open.conversation.netNodes(netId),
                       [&](const NetNode& node, std::size_t) { fillNode(*item, open.conversation, node); });
    });
}

int32_t TGetNextNetNode(DesignContext* context, ItemRecord* item) {
    return withConversation("TGetNextNetNode", context, [&](const Open& open) -> int32_t {
        if (!item) return kBadArgument;
        return stepWalk(open.conversation.nodes,
                        [&](const NetNode& node, std::size_t) { fillNode(*item, open.conversation, node); });
    });
}

int32_t TGetFirstBusNet(DesignContext* context, const char* busName, NetRecord* net) {
    return withConversation("TGetFirstBusNet", context, [&](const Open& open) -> int32_t {
        if (!net) return kBadArgument;
        const int32_t bus = open.conversation.busByName(argumentText(busName));
        const auto* nets = bus < 0 ? nullptr : &open.design.buses[static_cast<std::size_t>(bus)].nets;
        return firstOf(open.conversation.busNets, nets, [&](int32_t id, std::size_t) { fillNet(*net, id); });
    });
}

int32_t TGetNextBusNet(DesignContext* context, NetRecord* net) {
    return withConversation("TGetNextBusNet", context, [&](const Open& open) -> int32_t {
        if (!net) return kBadArgument;
        return stepWalk(open.conversation.busNets, [&](int32_t id, std::size_t) { fillNet(*net, id); });
    });
}

// --- One component ------------------------------------------------------------------

int32_t TGetCompByRefDes(DesignContext* context, const char* refDes, ComponentRecord* component) {
    return withConversation("TGetCompByRefDes", context, [&](const Open& open) -> int32_t {
        if (!component) return kBadArgument;
        std::size_t index = 0;
        const Component* found = componentNamed(open, argumentText(refDes), &index);
        if (!found) return kNotFound;
        fillComponent(*component, *found, index);
        return kOk;
    });
}

int32_t TGetCompSymbolByRefDes(DesignContext* context, const char* refDes, SymbolRecord* symbol) {
    return withConversation("TGetCompSymbolByRefDes", context, [&](const Open& open) -> int32_t {
        if (!symbol) return kBadArgument;
        std::size_t index = 0;
        const Component* found = componentNamed(open, argumentText(refDes), &index);
        if (!found) return kNotFound;
        fillSymbol(*symbol, *found, index);
        return kOk;
    });
}

int32_t TGetFirstCompPin(DesignContext* context, const char* refDes, PinRecord* pin) {
    return withConversation("TGetFirstCompPin", context, [&](const Open& open) -> int32_t {
        if (!pin) return kBadArgument;
        const Component* found = componentNamed(open, argumentText(refDes));
        if (!found || found->pins.empty()) return kNotFound;
        fillPin(*pin, found->pins.front());
        return kOk;
    });
}

// --- Attributes ------------------------------------------------------------------------

int32_t TGetFirstCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute) {
    return withConversation("TGetFirstCompAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        const Component* found = componentNamed(open, argumentText(refDes));
        return firstOf(open.conversation.compAttributes, found ? &found->attributes : nullptr,
                       [&](const Attribute& a, std::size_t index) { fillAttribute(*attribute, a, index); });
    });
}

int32_t TGetNextCompAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TGetNextCompAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        return stepWalk(open.conversation.compAttributes,
                        [&](const Attribute& a, std::size_t index) { fillAttribute(*attribute, a, index); });
    });
}

int32_t TGetFirstDesignAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TGetFirstDesignAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        return firstOf(open.conversation.designAttributes, &open.design.attributes,
                       [&](const Attribute& a, std::size_t index) { fillAttribute(*attribute, a, index); });
    });
}

int32_t TGetNextDesignAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TGetNextDesignAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        return stepWalk(open.conversation.designAttributes,
                        [&](const Attribute& a, std::size_t index) { fillAttribute(*attribute, a, index); });
    });
}

int32_t TAddDesignAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TAddDesignAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        std::optional<Attribute> added = newAttribute(*attribute, attribute->units);
        if (!added) return kBadArgument;
        open.design.attributes.push_back(std::move(*added));
        open.design.changed = true;
        attribute->reserved0 = static_cast<int32_t>(open.design.attributes.size());
        return kOk;
    });
}

int32_t TModifyDesignAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TModifyDesignAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        const auto index = findAttribute(open.design.attributes, *attribute);
        if (!index) return kNotFound;
        modifyAttribute(open.design, open.design.attributes[*index], *attribute, attribute->units);
        return kOk;
    });
}

int32_t TDeleteDesignAttribute(DesignContext* context, AttributeRecord* attribute) {
    return withConversation("TDeleteDesignAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        auto& attributes = open.design.attributes;
        const auto index = findAttribute(attributes, *attribute);
        if (!index) return kNotFound;
        attributes.erase(attributes.begin() + static_cast<std::ptrdiff_t>(*index));
        open.conversation.designAttributes.erased(attributes, *index);
        open.design.changed = true;
        return kOk;
    });
}

int32_t TAddCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute) {
    return withConversation("TAddCompAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        std::size_t index = 0;
        if (!componentNamed(open, argumentText(refDes), &index)) return kNotFound;
        std::optional<Attribute> added = newAttribute(*attribute, std::nullopt);
        if (!added) return kBadArgument;
        auto& attributes = open.design.components[index].attributes;
        attributes.push_back(std::move(*added));
        open.design.changed = true;
        attribute->reserved0 = static_cast<int32_t>(attributes.size());
        return kOk;
    });
}

int32_t TModifyCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute) {
    return withConversation("TModifyCompAttribute", context, [&](const Open& open) -> int32_t {
        if (!attribute) return kBadArgument;
        std::size_t component = 0;
        if (!componentNamed(open, argumentText(refDes), &component)) return kNotFound;
        auto& attributes = open.design.components[component].attributes;
        const auto index = findAttribute(attributes, *attribute);
        if (!index) return kNotFound;
        modifyAttribute(open.design, attributes[*index], *attribute, std::nullopt);
        return kOk;
    });
}

// --- Texts, items and symbols -------------------------------------------------------------

int32_t TPlaceText(DesignContext* context, TextRecord* text) {
    return withConversation("TPlaceText", context, [&](const Open& open) -> int32_t {
        if (!text) return kBadArgument;
        // Counted in the Windows-1252 text as received: CR and LF count.
        const std::string_view received = fieldText(text->text);
        if (received.size() > static_cast<std::size_t>(open.design.textLimit)) return kTextTooLong;
        if (!open.conversation.sheetItems(text->layerId)) return kNotFound;
        Item item;
        item.type = ItemType::Text;
        item.sheet = text->layerId;
        item.style = text->textStyleId;
        item.x = text->location.x;
        item.y = text->location.y;
        item.justification = text->justification;
        item.text = fromCp1252(received);
        // The pass places a connector's text while its component walk holds
        // that connector: the text is that connector's, wherever it stands.
        if (open.conversation.components.inHand())
            item.owner = static_cast<int32_t>(open.conversation.components.index());
        const std::size_t index = open.conversation.appendItem(std::move(item));
        const TextExtent extent = open.conversation.textExtent(index);
        open.design.changed = true;
        // The record now describes the placed text, as a walk would.
        text->reserved0 = static_cast<int32_t>(index + 1);
        text->bounds = textBounds(text->location.x, text->location.y, text->justification, extent);
        return kOk;
    });
}

int32_t TDeleteText(DesignContext* context, TextRecord* text) {
    return withConversation("TDeleteText", context, [&](const Open& open) -> int32_t {
        if (!text) return kBadArgument;
        const auto index = findText(open, *text);
        if (!index) return kNotFound;
        open.design.items[*index].deleted = true;
        open.design.changed = true;
        return kOk;
    });
}

int32_t TDeleteItem(DesignContext* context, ItemRecord* item) {
    return withConversation("TDeleteItem", context, [&](const Open& open) -> int32_t {
        if (!item) return kBadArgument;
        // A symbol or a pin belongs to its component and is not deleted alone.
        if (item->itemKind == kItemSymbol || item->itemKind == kItemPin) return kBadArgument;
        const auto index = findItem(open, *item);
        if (!index) return kNotFound;
        open.design.items[*index].deleted = true;
        open.design.changed = true;
        return kOk;
    });
}

int32_t THighlightSymbol(DesignContext* context, int32_t colour, SymbolRecord* symbol) {
    return withConversation("THighlightSymbol", context, [&](const Open& open) -> int32_t {
        if (!symbol) return kBadArgument;
        std::size_t index = 0;
        if (!componentNamed(open, fieldText(symbol->refDes), &index)) return kNotFound;
        Symbol& target = open.design.components[index].symbol;
        if (target.highlight != colour) {
            target.highlight = colour;
            open.design.changed = true;
        }
        return kOk;
    });
}

}  // extern "C"
