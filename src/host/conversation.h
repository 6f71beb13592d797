// Walk positions and lookup indexes of one conversation. Each kind of walk
// keeps its own position, so walks of different kinds nest freely; every
// step costs O(1) (amortised over deleted items) on designs of a few hundred
// thousand items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/text_extent.h"

namespace orlune::host {

struct Design;
struct Item;
struct TextStyle;
struct Attribute;
struct Component;
struct Sheet;

// One entry of an item walk: a free item, a component's symbol, or one pin
// of a component (a net node).
struct ItemRef {
    enum class Kind : int32_t { Item = 1, Symbol = 2, Pin = 3 };
    Kind kind = Kind::Item;
    int32_t index = 0;  // into Design::items (Item) or Design::components
    int32_t pin = 0;    // Pin: into Component::pins
};

// A net node with a copy of its pin's place: a walk over a net's nodes then
// reads one array rather than every component's pin list. Pins do not
// change during a conversation.
struct NetNode {
    ItemRef ref;  // Kind::Pin
    int32_t x = 0;
    int32_t y = 0;
    int32_t sheet = 0;
    int32_t net = 0;
};

// The position of one walk over a list. The list may grow while it is
// walked (entries appended are reached); entries are never removed from
// lists of items, which carry tombstones instead, so the position after the
// entry in hand stays valid when that entry is deleted. For a list whose
// entries are erased (design attributes), erased() keeps the position.
template <typename T>
class Walk {
public:
    void begin(const std::vector<T>& list) {
        list_ = &list;
        next_ = 0;
    }
    void end() { list_ = nullptr; }

    // The next entry that `usable` accepts, or null (and the walk ends)
    // when none is left or the walk was never begun.
    template <typename Usable>
    const T* step(Usable&& usable) {
        if (!list_) return nullptr;
        while (next_ < list_->size()) {
            const T& entry = (*list_)[next_++];
            if (usable(entry)) return &entry;
        }
        list_ = nullptr;
        return nullptr;
    }
    // Index in its list of the entry that the last successful step gave.
    std::size_t index() const { return next_ - 1; }
    // Whether a step gave an entry and the walk has not ended since.
    bool inHand() const { return list_ != nullptr && next_ > 0; }

    // `index` was erased from `list`: the next step still delivers the
    // entry that followed the one in hand.
    void erased(const std::vector<T>& list, std::size_t index) {
        if (list_ == &list && index < next_) --next_;
    }

private:
    const std::vector<T>* list_ = nullptr;
    std::size_t next_ = 0;
};

// Names by the UTF-8 text the design holds; the keys point into the design.
using NameIndex = std::unordered_map<std::string_view, int32_t>;

class Conversation {
public:
    // Builds the indexes for `design` and resets every walk; the
    // conversation gets a new serial, which the DesignContext carries. The
    // indexes of the last conversation serve again when they were built for
    // this very design and forget() was not called since: the operations
    // keep them in step with every change they make.
    void start(Design& design);
    // Ends the conversation: forgets the design and every walk.
    void stop();
    // Drops the indexes. The host calls it when it replaces its design, or
    // when the design may have been changed outside a conversation.
    void forget();

    bool active() const { return design_ != nullptr; }
    uint32_t serial() const { return serial_; }
    Design& design() const { return *design_; }

    // --- Indexes ----------------------------------------------------------
    // Items of a declared sheet (symbols in component order, then the free
    // items in array order, then the texts placed since start); null for a
    // layer that is not a declared sheet.
    const std::vector<ItemRef>* sheetItems(int32_t sheet) const;
    // Pins of net `net` in component and pin order; null for net 0 and for
    // a net that is neither declared nor used by a pin.
    const std::vector<NetNode>* netNodes(int32_t net) const;
    // By the name as it passes the DBX boundary (Windows-1252); -1: none.
    int32_t componentByRefDes(std::string_view cp1252) const;
    int32_t busByName(std::string_view cp1252) const;
    // The style of that number, or null.
    const TextStyle* styleByNumber(int32_t number) const;
    // The style a text of style `number` is measured with: that style, else
    // the first of the design's styles, else null (charWidth 1, height 1).
    const TextStyle* measuringStyle(int32_t number) const;
    // Selected symbols (component order), then selected items (array order).
    const std::vector<ItemRef>& selection() const { return selection_; }

    // The extent of text item `index` in its measuring style, measured once
    // per conversation's indexes: items keep their text and style while the
    // indexes stand (a design changed otherwise gets forget()).
    const TextExtent& textExtent(std::size_t index) const;

    // Appends `item` to the design's items and to its sheet's list; the
    // sheet must be declared. Returns its index in Design::items.
    std::size_t appendItem(Item item);

    // --- Walk positions, one per kind of walk -------------------------------
    Walk<Sheet> layers;
    Walk<ItemRef> layerItems;
    Walk<Component> components;
    Walk<ItemRef> selectedItems;
    Walk<NetNode> nodes;
    Walk<int32_t> busNets;
    Walk<Attribute> compAttributes;
    Walk<Attribute> designAttributes;

private:
    void resetWalks();

    Design* design_ = nullptr;
    uint32_t serial_ = 0;
    const Design* indexed_ = nullptr;                      // the design the indexes stand for
    std::unordered_map<int32_t, std::size_t> sheetIndex_;  // sheet id -> itemsBySheet_
    std::vector<std::vector<ItemRef>> itemsBySheet_;
    std::unordered_map<int32_t, std::vector<NetNode>> nodesByNet_;
    NameIndex componentsByRefDes_;  // by the Windows-1252 name
    NameIndex busesByName_;
    std::unordered_map<int32_t, std::size_t> stylesByNumber_;
    mutable const TextStyle* lastStyle_ = nullptr;
    mutable std::vector<TextExtent> extents_;  // by item; width -1: not measured yet
    std::vector<ItemRef> selection_;
};

}  // namespace orlune::host
