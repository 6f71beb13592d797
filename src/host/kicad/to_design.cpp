#include "host/kicad/to_design.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include "host/cp1252.h"
#include "host/kicad/write_back.h"

namespace orlune::kicad {

namespace {

// Glyph widths of KiCad's stroke font for ' ' to '~', in 1/21 of the text
// width (the first two characters of each glyph in newstroke_font.cpp).
constexpr int kStrokeWidths[95] = {
    16, 10, 16, 21, 20, 24, 26, 10, 14, 14, 16, 26, 10, 26, 10, 22, 20, 20, 20, 20, 20, 20, 20, 20,
    20, 20, 10, 10, 26, 26, 26, 18, 27, 18, 21, 21, 21, 19, 18, 21, 22, 10, 16, 21, 17, 24, 22, 22,
    21, 22, 21, 20, 16, 22, 18, 24, 20, 18, 20, 14, 14, 14, 12, 16, 8,  19, 19, 18, 19, 18, 12, 19,
    19, 10, 10, 17, 11, 28, 19, 19, 19, 19, 13, 17, 12, 19, 16, 22, 17, 16, 17, 14, 20, 14, 15,
};

// KiCad draws characters it has no glyph for as '?'; other scripts have
// glyphs of about a digit's width.
int strokeUnits(char32_t c) {
    if (c >= 32 && c < 127) return kStrokeWidths[c - 32];
    return c < 32 ? kStrokeWidths['?' - 32] : 20;
}

int32_t kiRound(double v) {
    return static_cast<int32_t>(std::lround(v));
}

// One UTF-8 character from `s` at `i`, advancing `i`.
char32_t nextChar(const std::string& s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    if (b < 0x80) return b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t c = b & (0x3F >> extra);
    while (extra-- > 0 && i < s.size())
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return c;
}

int32_t penWidth(const sch::TextSize& size) {
    const int32_t minSide = std::min(size.width, size.height);
    const int32_t pen = size.thickness > 1 ? size.thickness
                        : size.bold        ? kiRound(size.width / 5.0)
                                           : kiRound(size.width / 8.0);
    return std::min(pen, kiRound(minSide * 0.25));
}

// KiCad's escapes in stored texts, shown as one character.
constexpr std::pair<std::string_view, char> kEscapes[] = {
    {"{slash}", '/'}, {"{backslash}", '\\'}, {"{colon}", ':'},  {"{lt}", '<'},
    {"{gt}", '>'},    {"{dblquote}", '"'},   {"{quote}", '\''}, {"{space}", ' '},
};

// The width KiCad's text box gives a one-line text: the rounded advances,
// less the last inter-character gap, widened by the pen on both sides.
// Markup (~{…}, _{…}, ^{…}) draws only its content.
int32_t textBoxWidth(const std::string& text, const sch::TextSize& size) {
    int64_t sum = 0;
    int markup = 0;
    for (size_t i = 0; i < text.size();) {
        if (const auto [ch, length] = escapeAt(text, i); length > 0) {
            sum += strokeAdvance(static_cast<unsigned char>(ch), size.width);
            i += length;
            continue;
        }
        const char32_t c = nextChar(text, i);
        if ((c == '~' || c == '_' || c == '^') && i < text.size() && text[i] == '{') {
            ++i;
            ++markup;
            continue;
        }
        if (c == '}' && markup > 0) {
            --markup;
            continue;
        }
        sum += strokeAdvance(c, size.width);
    }
    sum += -kiRound(size.width * 0.2) + 2 * kiRound(penWidth(size) * 1.5);
    return static_cast<int32_t>(std::clamp<int64_t>(sum, 0, sch::kMaxCoordinate));
}

bool looksLikeBus(const std::string& text, const std::set<std::string>& aliases) {
    if (aliases.count(text)) return true;
    for (size_t open = text.find('['); open != std::string::npos; open = text.find('[', open + 1)) {
        const size_t dots = text.find("..", open);
        const size_t close = text.find(']', open);
        if (dots != std::string::npos && close != std::string::npos && dots < close && dots > open + 1 &&
            close > dots + 2)
            return true;
    }
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1))
        if (open == 0 || std::string_view("~_^$").find(text[open - 1]) == std::string_view::npos) return true;
    return false;
}

std::string millimetres(int32_t iu) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", iu / 10000.0);
    return buffer;
}

// A reference or bus name as the program's 100-byte Windows-1252 fields
// hold it: characters Windows-1252 lacks become '?', no space at either end,
// at most 90 bytes (room for a suffix that keeps names apart).
std::string fieldName(std::string_view text) {
    std::string bytes = host::toCp1252(text);
    const size_t first = bytes.find_first_not_of(' ');
    bytes = first == std::string::npos ? std::string("?") : bytes.substr(first, 90);
    bytes.erase(bytes.find_last_not_of(' ') + 1);
    for (char& c : bytes)
        if (c == '\0') c = '?';
    return host::fromCp1252(bytes);
}

bool ownedTextContent(const std::string& text) {
    if (text.empty() || text[0] != '@') return false;
    // Each row is "@" and page numbers separated by commas, runs of pages
    // written "3-7".
    return text.find_first_not_of("@0123456789,-\n\r", 1) == std::string::npos;
}

class Builder {
public:
    Builder(const sch::Project& p, const ConnectivityInput& in, const ConnectivityResult& r) : p_(p), in_(in), r_(r) {}

    DesignView build() {
        host::Design& d = v_.design;
        d.units = 2;  // mm
        for (const sch::SchematicFile& f : p_.files) {
            d.workspaceX = std::max(d.workspaceX, f.paperSize.x * 10);
            d.workspaceY = std::max(d.workspaceY, f.paperSize.y * 10);
        }
        for (const auto& [name, value] : p_.textVariables)
            d.attributes.push_back({name, value, std::nullopt});
        for (const sch::BusAlias& a : p_.busAliases)
            aliases_.insert(a.name);
        for (const sch::SchematicFile& f : p_.files)
            for (const sch::BusAlias& a : f.busAliases)
                aliases_.insert(a.name);
        sheets();
        styles();
        countPins();
        nets();
        components();
        connectors();
        texts();
        return std::move(v_);
    }

private:
    int pageOf(int instance) const { return p_.instances[static_cast<size_t>(instance)].page; }

    void sheets() {
        int last = 0;
        for (const sch::SheetInstance& in : p_.instances)
            last = std::max(last, in.page);
        std::vector<std::string> names(static_cast<size_t>(last) + 1);
        for (const sch::SheetInstance& in : p_.instances) {
            std::string& name = names[static_cast<size_t>(in.page)];
            name += (name.empty() ? in.pageString + " " : " + ") + in.humanPath;
        }
        // A page "0" (a root numbered from 0) is the design's sheet 0.
        for (int k = names[0].empty() ? 1 : 0; k <= last; ++k) {
            const std::string& name = names[static_cast<size_t>(k)];
            v_.design.sheets.push_back({k, name.empty() ? std::to_string(k) : name, host::kNoSource});
        }
    }

    // One style per text size in use: KiCad's default first, then those of
    // the sheet connectors and of the texts ORLUNE placed.
    void styles() {
        std::vector<sch::TextSize> sizes{sch::TextSize{}};
        const auto add = [&](const sch::TextSize& s) {
            for (const sch::TextSize& t : sizes)
                if (t.height == s.height && t.width == s.width) return;
            sizes.push_back(s);
        };
        for (const sch::SchematicFile& f : p_.files) {
            for (const sch::Label& l : f.labels)
                if (l.kind == sch::LabelKind::Global || l.kind == sch::LabelKind::Hierarchical) add(l.size);
            for (const sch::FreeText& t : f.texts)
                if (ownedTextContent(t.text)) add(t.size);
        }
        std::sort(sizes.begin() + 1, sizes.end(), [](const sch::TextSize& a, const sch::TextSize& b) {
            return a.height != b.height ? a.height < b.height : a.width < b.width;
        });
        for (size_t k = 0; k < sizes.size(); ++k) {
            const sch::TextSize& s = sizes[k];
            host::TextStyle style;
            style.number = style.id = static_cast<int32_t>(k);
            style.name = millimetres(s.height) + (s.width == s.height ? "" : "/" + millimetres(s.width)) + " mm";
            // KiCad's line pitch for the stroke font; the advances as it rounds them.
            style.height = kiRound(s.height * 1.68 * 0.9583) * 10;
            style.charWidth = strokeAdvance('0', s.width) * 10;
            style.advances = {{U'@', strokeAdvance('@', s.width) * 10},
                              {U',', strokeAdvance(',', s.width) * 10},
                              {U'-', strokeAdvance('-', s.width) * 10}};
            v_.design.textStyles.push_back(std::move(style));
            styleSizes_.push_back(s);
            v_.styleSizes.push_back(s);
        }
    }

    int32_t styleOf(const sch::TextSize& s) const {
        for (size_t k = 0; k < styleSizes_.size(); ++k)
            if (styleSizes_[k].height == s.height && styleSizes_[k].width == s.width) return static_cast<int32_t>(k);
        return 0;
    }

    static bool isComponent(const Symbol& s) { return s.reference.empty() || s.reference[0] != '#'; }

    int netOfPin(size_t i, size_t s, size_t k) const {
        if (i >= r_.pinNet.size() || s >= r_.pinNet[i].size() || k >= r_.pinNet[i][s].size()) return -1;
        return r_.pinNet[i][s][k];
    }
    int netOfLabel(size_t i, size_t l) const {
        if (i >= r_.labelNet.size() || l >= r_.labelNet[i].size()) return -1;
        return r_.labelNet[i][l];
    }
    const std::vector<int>* membersOf(size_t i, size_t l) const {
        if (i >= r_.labelMembers.size() || l >= r_.labelMembers[i].size() || r_.labelMembers[i][l].empty())
            return nullptr;
        return &r_.labelMembers[i][l];
    }
    static bool isConnectorLabel(const sch::Label& l) {
        return l.kind == sch::LabelKind::Global || l.kind == sch::LabelKind::Hierarchical;
    }
    bool isBusLabel(size_t i, size_t l) const {
        const sch::Label& label = p_.fileOf(p_.instances[i]).labels[l];
        return membersOf(i, l) != nullptr || looksLikeBus(label.text, aliases_);
    }

    // Pins per net (component pins and sheet connectors); nets that are
    // members of a bus connector's bus.
    void countPins() {
        pinCount_.assign(r_.nets.size(), 0);
        busMember_.assign(r_.nets.size(), false);
        const auto bump = [&](int net) {
            if (net >= 0 && static_cast<size_t>(net) < pinCount_.size()) ++pinCount_[static_cast<size_t>(net)];
        };
        for (size_t i = 0; i < in_.instances.size(); ++i) {
            const SheetInstance& si = in_.instances[i];
            for (size_t s = 0; s < si.symbols.size(); ++s)
                if (isComponent(si.symbols[s]))
                    for (size_t k = 0; k < si.symbols[s].pins.size(); ++k)
                        bump(netOfPin(i, s, k));
            const auto& labels = p_.fileOf(p_.instances[i]).labels;
            for (size_t l = 0; l < labels.size(); ++l) {
                if (!isConnectorLabel(labels[l])) continue;
                if (const std::vector<int>* members = membersOf(i, l)) {
                    for (int m : *members)
                        if (m >= 0 && static_cast<size_t>(m) < busMember_.size())
                            busMember_[static_cast<size_t>(m)] = true;
                } else {
                    bump(netOfLabel(i, l));
                }
            }
        }
    }

    // Nets with a pin, by name; a pin alone on its net is on net 0.
    void nets() {
        std::vector<size_t> order;
        for (size_t n = 0; n < r_.nets.size(); ++n)
            if (pinCount_[n] >= 2 || (busMember_[n] && pinCount_[n] >= 1)) order.push_back(n);
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return r_.nets[a].name < r_.nets[b].name; });
        netId_.assign(r_.nets.size(), 0);
        for (size_t k = 0; k < order.size(); ++k) {
            netId_[order[k]] = static_cast<int32_t>(k) + 1;
            v_.design.nets.push_back({static_cast<int32_t>(k) + 1, r_.nets[order[k]].name, host::kNoSource});
        }
    }

    int32_t idOf(int net) const {
        return net >= 0 && static_cast<size_t>(net) < netId_.size() ? netId_[static_cast<size_t>(net)] : 0;
    }

    void components() {
        std::unordered_map<std::string, size_t> byRef;
        size_t unannotated = 0;
        for (size_t i = 0; i < in_.instances.size(); ++i) {
            const SheetInstance& si = in_.instances[i];
            const sch::SchematicFile& file = p_.fileOf(p_.instances[i]);
            for (size_t s = 0; s < si.symbols.size(); ++s) {
                const Symbol& sym = si.symbols[s];
                if (!isComponent(sym)) continue;
                std::string key = sym.reference;
                if (key.empty() || key.back() == '?') {
                    ++unannotated;
                    key += " " + sym.uuid;
                    if (byRef.count(key)) key += " " + si.humanPath;
                }
                auto [it, added] = byRef.emplace(key, v_.design.components.size());
                if (added) {
                    host::Component c;
                    c.refDes = uniqueName(fieldName(key));
                    c.type = sym.libId;
                    c.kind = 0;
                    c.attributes.push_back({"Value", sym.value, std::nullopt, host::kNoSource});
                    const sch::Point at = file.symbols[s].at;
                    c.symbol.sheet = pageOf(static_cast<int>(i));
                    c.symbol.x = at.x * 10;
                    c.symbol.y = at.y * 10;
                    v_.design.components.push_back(std::move(c));
                    v_.components.emplace_back();
                }
                host::Component& c = v_.design.components[it->second];
                for (size_t k = 0; k < sym.pins.size(); ++k) {
                    const Point at = sym.pins[k].at;
                    c.pins.push_back({static_cast<int32_t>(at.x * 10), static_cast<int32_t>(at.y * 10),
                                      pageOf(static_cast<int>(i)), idOf(netOfPin(i, s, k)), host::kNoSource});
                    v_.components[it->second].pins.push_back(
                        {static_cast<int>(i), static_cast<int>(s), static_cast<int>(k)});
                }
            }
        }
        if (unannotated)
            v_.warnings.push_back(std::to_string(unannotated) +
                                  " symbols are not annotated (their reference ends in '?'); they are named by "
                                  "reference and uuid: annotate the schematic in KiCad");
    }

    // A reference designator no component has yet.
    std::string uniqueName(const std::string& name) {
        std::string out = name;
        for (size_t k = 2; !refDes_.insert(out).second; ++k)
            out = name + "#" + std::to_string(k);
        return out;
    }

    std::string busName(const std::string& text, const std::vector<int32_t>& nets) {
        const std::string base = fieldName(text);
        for (size_t k = 1;; ++k) {
            std::string name = base;
            if (k > 1) name += "#" + std::to_string(k);
            const auto it = buses_.find(name);
            if (it == buses_.end()) {
                buses_.emplace(name, nets);
                v_.design.buses.push_back({name, nets, host::kNoSource});
                return name;
            }
            if (it->second == nets) return name;
        }
    }

    // KiCad's own reference list of a global label: "[" and the pages that
    // have a global label of that name, in its long form (the wider one).
    std::string kicadReferences(const std::string& text) {
        if (globalPages_.empty())
            for (const sch::SheetInstance& in : p_.instances)
                for (const sch::Label& l : p_.fileOf(in).labels)
                    if (l.kind == sch::LabelKind::Global) globalPages_[l.text].insert(in.page);
        std::string out = "[";
        for (int page : globalPages_[text])
            out += (out.size() > 1 ? "," : "") + std::to_string(page);
        return out + "]";
    }

    void connectors() {
        std::set<std::pair<int32_t, int32_t>> busPins;  // (sheet, y) of the bus connectors so far
        for (size_t i = 0; i < p_.instances.size(); ++i) {
            const int page = pageOf(static_cast<int>(i));
            const auto& labels = p_.fileOf(p_.instances[i]).labels;
            for (size_t l = 0; l < labels.size(); ++l) {
                const sch::Label& label = labels[l];
                if (!isConnectorLabel(label)) continue;
                const bool global = label.kind == sch::LabelKind::Global;
                const bool bus = isBusLabel(i, l);
                const std::string prefix = std::string(global ? "GL" : "HL") + std::to_string(page) + ":";
                std::string refDes = prefix + fieldName(label.uuid.substr(0, 8));
                if (refDes_.count(refDes)) refDes = prefix + fieldName(label.uuid);
                refDes = uniqueName(refDes);

                // The pin lies where the label body ends, so that the text
                // lands beyond the label on the side its body points to.
                int32_t length = labelBodyLength(label, p_.drawing);
                // Where KiCad shows its own reference list after a global
                // label, ORLUNE's text starts beyond that list.
                if (global && p_.drawing.intersheetsRefShow)
                    length += static_cast<int32_t>(2 * std::llround(p_.drawing.textOffsetRatio * label.size.height) +
                                                   textBoxWidth(kicadReferences(label.text), label.size));
                sch::Point end = label.at;
                switch (label.spin) {
                    case 90:
                        end.y -= length;
                        break;
                    case 180:
                        end.x -= length;
                        break;
                    case 270:
                        end.y += length;
                        break;
                    default:
                        end.x += length;
                        break;
                }
                int32_t x = end.x * 10, y = end.y * 10;
                host::Component c;
                c.refDes = refDes;
                c.kind = 2;
                c.type = bus ? (global ? kGlobalBusConnectorType : kHierBusConnectorType)
                             : (global ? kGlobalConnectorType : kHierConnectorType);
                for (const sch::Property& prop : label.properties)
                    if (prop.name == "SH_TYPE")
                        c.attributes.push_back({prop.name, prop.value, std::nullopt, host::kNoSource});
                int32_t net = 0;
                if (bus) {
                    // The pass takes the first vertical bus item whose end lies at
                    // the pin's y: each bus connector gets a one-point bus of its
                    // own at its pin, its y made unique on the sheet by a few
                    // database units (far below KiCad's resolution).
                    for (int k = 0; !busPins.emplace(page, y).second; ++k)
                        y += (k % 2 ? -1 : 1) * (k + 1);
                    std::vector<int32_t> members;
                    if (const std::vector<int>* m = membersOf(i, l))
                        for (int n : *m)
                            if (const int32_t id = idOf(n)) members.push_back(id);
                    host::Item item;
                    item.type = host::ItemType::Bus;
                    item.sheet = page;
                    item.bus = busName(label.text, members);
                    item.x1 = item.x2 = x;
                    item.y1 = item.y2 = y;
                    v_.design.items.push_back(std::move(item));
                    v_.items.push_back({static_cast<int>(i), -1, static_cast<int>(v_.design.components.size())});
                } else {
                    net = idOf(netOfLabel(i, l));
                }
                c.pins.push_back({x, y, page, net, host::kNoSource});
                c.symbol.sheet = page;
                c.symbol.x = x;
                c.symbol.y = y;
                c.symbol.flipped = label.spin != 180;
                pinOf_[{static_cast<int>(i), static_cast<int>(l)}] = v_.design.components.size();
                v_.design.components.push_back(std::move(c));
                v_.components.push_back({static_cast<int>(i), static_cast<int>(l), {}});
            }
        }
    }

    // Texts ORLUNE placed earlier, each where the pass puts the text of its
    // label's connector, on the page it serves (every page of its file when
    // it serves them all); a per-instance text as the value it shows there.
    void texts() {
        for (size_t f = 0; f < p_.files.size(); ++f) {
            const sch::SchematicFile& file = p_.files[f];
            if (file.texts.empty()) continue;
            const std::vector<std::string> paths = instancePathsOf(p_, static_cast<int>(f));
            const TextOwnership own = classifyTexts(file, paths);
            for (int t : own.foreign)
                v_.warnings.push_back(file.path + ": the text \"" + file.texts[static_cast<size_t>(t)].text +
                                      "\" begins with '@' but was not placed by ORLUNE; it is left alone");
            for (const OwnedText& o : own.owned)
                for (size_t i = 0; i < p_.instances.size(); ++i) {
                    const sch::SheetInstance& in = p_.instances[i];
                    if (in.file != static_cast<int>(f) || (!o.path.empty() && o.path != in.path)) continue;
                    ownedItem(static_cast<int>(i), file.texts[static_cast<size_t>(o.text)], o);
                }
            // ORLUNE's texts whose label is gone stand beside no connector,
            // on every page of their file: the pass removes them.
            for (int t : own.orphans)
                for (size_t i = 0; i < p_.instances.size(); ++i)
                    if (p_.instances[i].file == static_cast<int>(f))
                        orphanItem(static_cast<int>(i), file.texts[static_cast<size_t>(t)], t);
        }
    }

    void orphanItem(int instance, const sch::FreeText& text, int index) {
        host::Item item;
        item.type = host::ItemType::Text;
        item.sheet = pageOf(instance);
        const std::string shown = text.text.starts_with("@") ? text.text : resolvePerInstance(p_, instance, text.text);
        for (char ch : shown) {
            if (ch == '\n') item.text += '\r';
            item.text += ch;
        }
        // Even an unresolved reference is the program's own: it begins with "@".
        if (!item.text.starts_with("@")) item.text.insert(0, "@");
        item.style = styleOf(text.size);
        item.x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{text.at.x} * 10, INT32_MIN, INT32_MAX));
        item.y = static_cast<int32_t>(std::clamp<int64_t>(int64_t{text.at.y} * 10, INT32_MIN, INT32_MAX));
        item.justification = text.right ? 6 : 4;
        v_.design.items.push_back(std::move(item));
        v_.items.push_back({instance, index, -1});
    }

    void ownedItem(int instance, const sch::FreeText& text, const OwnedText& o) {
        const auto at = pinOf_.find({instance, o.label});
        if (at == pinOf_.end()) return;
        const host::Component& c = v_.design.components[at->second];
        const sch::Label& label =
            p_.fileOf(p_.instances[static_cast<size_t>(instance)]).labels[static_cast<size_t>(o.label)];
        host::Item item;
        item.type = host::ItemType::Text;
        item.sheet = pageOf(instance);
        item.owner = static_cast<int32_t>(at->second);
        const std::string shown = text.text.starts_with("@") ? text.text : resolvePerInstance(p_, instance, text.text);
        for (char ch : shown) {
            if (ch == '\n') item.text += '\r';
            item.text += ch;
        }
        item.style = styleOf(text.size);
        const int64_t rows = std::count(shown.begin(), shown.end(), '\n') + 1;
        const int64_t half = rows * v_.design.textStyles[static_cast<size_t>(item.style)].height / 2;
        const host::Pin& pin = c.pins.front();
        int64_t x = 0, y = 0;
        if (label.spin == 90 || label.spin == 270) {
            // Turned back into the pass's frame: the distance past the end.
            x = pin.x + std::llabs(int64_t{text.at.y} * 10 - pin.y);
            y = pin.y;
            item.justification = 4;
        } else {
            x = int64_t{text.at.x} * 10;
            y = int64_t{text.at.y} * 10 - half;
            item.justification = text.right ? 6 : 4;
        }
        // KiCad keeps 100 nm; the pass's point may lie between.
        if (std::llabs(y - pin.y) <= 10 * rows) y = pin.y;
        item.x = static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX));
        item.y = static_cast<int32_t>(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
        v_.design.items.push_back(std::move(item));
        v_.items.push_back({instance, o.text, -1});
    }

    const sch::Project& p_;
    const ConnectivityInput& in_;
    const ConnectivityResult& r_;
    DesignView v_;
    std::set<std::string> aliases_;
    std::vector<sch::TextSize> styleSizes_;
    std::vector<int> pinCount_;
    std::vector<bool> busMember_;
    std::vector<int32_t> netId_;
    std::map<std::string, std::vector<int32_t>> buses_;
    std::set<std::string> refDes_;
    std::map<std::pair<int, int>, size_t> pinOf_;
    std::map<std::string, std::set<int>> globalPages_;  // (instance, label) -> its connector
};

}  // namespace

int32_t strokeTextWidth(const std::string& row, const sch::TextSize& size) {
    return textBoxWidth(row, size);
}

int32_t strokeAdvance(char32_t c, int32_t width) {
    return kiRound(strokeUnits(c) / 21.0 * width);
}

int32_t labelBodyLength(const sch::Label& label, const sch::DrawingSettings& drawing) {
    const sch::TextSize& s = label.size;
    const int64_t text = textBoxWidth(label.text, s);
    const int64_t pen = penWidth(s);
    int64_t length = text;
    if (label.kind == sch::LabelKind::Global) {
        const int64_t margin = std::llround(drawing.labelSizeRatio * s.height);
        const int64_t half = s.height / 2 + margin;
        // The outline's extent, widened by half the pen on each side, as
        // KiCad measures it to place its own intersheet references.
        length = text + 2 * margin + pen + 3 + 2 * (pen / 2);
        if (label.shape == "input" || label.shape == "output") length += half;
        if (label.shape == "bidirectional" || label.shape == "tri_state") length += 2 * half;
    } else if (label.kind == sch::LabelKind::Hierarchical) {
        // The body starts 12 mils behind the anchor.
        length = text + s.height + pen + std::llround(drawing.textOffsetRatio * s.height) - 3048;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(length, 0, sch::kMaxCoordinate));
}

TextParams placedFor(const host::Item& item, const host::Component& connector, const sch::Label& label,
                     const sch::TextSize& size, int32_t styleHeight) {
    TextParams t;
    t.text = item.text;
    t.height = size.height;
    t.width = size.width;
    t.run = runFor(item.justification, label.spin);
    const int64_t rows = std::count(item.text.begin(), item.text.end(), '\n') + 1;
    const int64_t half = rows * styleHeight / 2;
    const host::Pin& pin = connector.pins.front();
    if (label.spin == 90 || label.spin == 270) {
        const int64_t distance = std::llabs(int64_t{item.x} - pin.x);
        t.x = pin.x + half;
        t.y = label.spin == 90 ? pin.y - distance : pin.y + distance;
    } else {
        t.x = item.x;
        t.y = item.y + half;
    }
    return t;
}

DesignView toDesign(const sch::Project& project, const ConnectivityInput& input, const ConnectivityResult& result) {
    return Builder(project, input, result).build();
}

std::pair<char, size_t> escapeAt(std::string_view stored, size_t i) {
    if (i >= stored.size() || stored[i] != '{') return {0, 0};
    for (const auto& [code, ch] : kEscapes)
        if (stored.compare(i, code.size(), code) == 0) return {ch, code.size()};
    return {0, 0};
}

std::string shownName(std::string_view stored) {
    std::string shown;
    shown.reserve(stored.size());
    for (size_t i = 0; i < stored.size();) {
        if (const auto [ch, length] = escapeAt(stored, i); length > 0) {
            shown += ch;
            i += length;
        } else {
            shown += stored[i++];
        }
    }
    return shown;
}

}  // namespace orlune::kicad
