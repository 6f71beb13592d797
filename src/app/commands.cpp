#include "app/commands.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <utility>

#include "app/design_look.h"
#include "app/design_run.h"
#include "app/inspect_connectors.h"
#include "host/backend.h"
#include "host/cp1252.h"
#include "host/design.h"
#include "host/host.h"
#include "settings/startup.h"
#include "settings/units.h"
#include "ui/command_flow.h"

namespace orlune::app {

namespace {

// The settings attribute keeps at most this many characters of a distance;
// start-up throws a longer one away.
constexpr std::size_t kStoredFieldWidth = 10;

// The first line of each design's block when several designs share stdout.
void header(std::ostream& out, const std::vector<std::string>& designs, const std::string& design) {
    if (designs.size() > 1) out << "== " << escapeText(design) << '\n';
}

std::string beforeNul(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

// Texts from the procedures are Windows-1252, as the DBX records hold them.
std::string shown(std::string_view cp1252) {
    return host::fromCp1252(beforeNul(cp1252));
}

std::string quoted(std::string_view text) {
    return "\"" + escapeText(text) + "\"";
}

std::string counted(int n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The list position of a style name. The name is matched as the design file
// holds it, so that any name can be chosen (the list's Windows-1252 form
// loses characters and cuts a name at 100 bytes); a name that the list shows
// without loss is also found by that form (one cut at a NUL, say).
std::optional<std::size_t> findStyle(const DesignLook& look, const std::string& utf8Name) {
    const auto& names = look.styleNamesAsInFile;
    if (auto it = std::find(names.begin(), names.end(), utf8Name); it != names.end())
        return static_cast<std::size_t>(it - names.begin());
    const std::optional<std::string> wanted = host::toCp1252Exact(utf8Name);
    if (!wanted || names.size() != look.styleNames.size()) return std::nullopt;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (look.styleNames[i] == *wanted && host::toCp1252Exact(names[i])) return i;
    }
    return std::nullopt;
}

void reportUnknownStyle(std::ostream& err, const std::string& design, const std::string& name,
                        const std::vector<std::string>& utf8Styles) {
    err << "orlune: " << escapeText(design) << " has no text style " << quoted(name);
    if (utf8Styles.empty()) {
        err << "; it has no text styles\n";
        return;
    }
    err << "; its text styles: ";
    for (std::size_t i = 0; i < utf8Styles.size(); ++i)
        err << (i ? ", " : "") << quoted(utf8Styles[i]);
    err << '\n';
}

std::vector<std::string> listedStyles(const Run& run) {
    const ui::Control& list = run.form.at("cboTextStyle");
    std::vector<std::string> names;
    names.reserve(list.items.size());
    for (const auto& item : list.items)
        names.push_back(host::fromCp1252(item.first));
    return names;
}

// Picks a style as choosing it in the settings page's list does: the entry
// at `position`, when it is still the one the look into the design saw.
bool chooseStyle(Run& run, std::size_t position, const std::string& listed) {
    ui::Control& list = run.form.at("cboTextStyle");
    if (position >= list.items.size() || list.items[position].first != listed) return false;
    list.listIndex = static_cast<int>(position);
    list.caption = list.items[position].first;
    return true;
}

int countConnectors(const host::Design* design) {
    if (!design) return 0;
    return static_cast<int>(std::count_if(design->components.begin(), design->components.end(),
                                          [](const host::Component& c) { return c.kind == 2; }));
}

// The own texts (beginning with "@") the model holds now, and on how many sheets.
std::pair<int, int> ownTexts(const host::Design* design) {
    if (!design) return {0, 0};
    std::set<int32_t> sheets;
    int n = 0;
    for (const host::Item& item : design->items) {
        if (item.deleted || item.type != host::ItemType::Text || !item.text.starts_with("@")) continue;
        ++n;
        sheets.insert(item.sheet);
    }
    return {n, static_cast<int>(sheets.size())};
}

std::string placedSummary(const Run& run, host::Host& host) {
    const host::Wording words = host.wording();
    if (countConnectors(host.design()) == 0) return "nothing to annotate: no " + words.connectors;
    std::set<int32_t> sheets;
    for (const PlacedText& t : run.list.PlacedTexts)
        sheets.insert(t.layerId);
    const int n = static_cast<int>(run.list.PlacedTexts.size());
    const int on = static_cast<int>(sheets.size());
    return counted(n, "text", "texts") + " placed on " + counted(on, words.sheet, words.sheets);
}

// Where the storage names its connectors (a KiCad project: the label's text
// and page), a text is listed by that name, its position in millimetres.
void listPlacedTexts(std::ostream& out, const Run& run, const std::string& design) {
    std::string reason;
    host::DesignNotes notes;
    if (!run.list.PlacedTexts.empty() && readDesignAsIs(design, reason, &notes) && !notes.connectors.empty()) {
        for (const PlacedText& t : run.list.PlacedTexts) {
            const auto c = static_cast<std::size_t>(t.component);
            const std::optional<host::ConnectorNote>* note =
                t.component >= 0 && c < notes.connectors.size() ? &notes.connectors[c] : nullptr;
            out << (note && *note ? escapeText((*note)->label) : escapeText(shown(t.refDes))) << '\t'
                << (note && *note ? escapeText((*note)->page) : std::to_string(t.layerId)) << '\t' << millimetres(t.x)
                << '\t' << millimetres(t.y) << '\t' << std::to_string(t.justification) << '\t'
                << escapeText(shown(t.text)) << '\n';
        }
        return;
    }
    for (const PlacedText& t : run.list.PlacedTexts) {
        out << escapeText(shown(t.refDes)) << '\t' << std::to_string(t.layerId) << '\t' << std::to_string(t.x) << '\t'
            << std::to_string(t.y) << '\t' << std::to_string(t.justification) << '\t' << escapeText(shown(t.text))
            << '\n';
    }
}

std::string selectedStyleName(const Run& run) {
    const ui::Control& list = run.form.at("cboTextStyle");
    if (list.listIndex >= 0 && static_cast<std::size_t>(list.listIndex) < list.items.size())
        return shown(list.items[static_cast<std::size_t>(list.listIndex)].first);
    return shown(list.caption);
}

// The settings page's unit label and the texts that Apply_Settings put into
// force: a code outside 1 to 4 is served by the entries of code 3.
void printSettings(std::ostream& out, const Run& run) {
    const auto slot = static_cast<std::size_t>(Unit_Slot(run.settings.UnitCode));
    out << "Unit: " << escapeText(shown(run.settings.UnitNames[slot])) << '\n';
    out << "Text style: " << escapeText(selectedStyleName(run)) << '\n';
    out << "Left side start: " << escapeText(shown(run.settings.LeftStartByUnit[slot])) << '\n';
    out << "Right side start: " << escapeText(shown(run.settings.RightStartByUnit[slot])) << '\n';
    out << "Max row lenght: " << escapeText(shown(run.settings.MaxRowByUnit[slot])) << '\n';
    out << "Ranges: " << (run.settings.Ranges ? "on" : "off") << '\n';
}

}  // namespace

std::optional<int16_t> utilityIndex(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kUtilityNames); ++i) {
        if (kUtilityNames[i] == name) return static_cast<int16_t>(i);
    }
    return std::nullopt;
}

std::string distanceError(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= '0' && c <= '9') || c == '.' || c == 'n') continue;
        std::string what;
        if (c < 0x20 || c == 0x7f) {
            static const char kHex[] = "0123456789ABCDEF";
            what = std::string("U+00") + kHex[c >> 4] + kHex[c & 0xf];
        } else {
            // Name the whole character, not one byte of its UTF-8.
            std::size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
            what = quoted(text.substr(i, std::min(length, text.size() - i)));
        }
        return "the character " + what + " is not accepted; a distance holds only digits, \".\" and \"n\"";
    }
    return {};
}

int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err) {
    // Every design must know the style before any of them changes.
    std::vector<std::optional<std::size_t>> positions(options.designs.size());
    std::vector<std::string> listed(options.designs.size());
    if (options.style) {
        for (std::size_t i = 0; i < options.designs.size(); ++i) {
            const std::string& design = options.designs[i];
            std::optional<DesignLook> look = lookIntoDesign(design);
            if (!look) continue;  // its own run reports why it cannot be opened
            positions[i] = findStyle(*look, *options.style);
            if (!positions[i]) {
                reportUnknownStyle(err, design, *options.style, look->styleNamesAsInFile);
                return kExitUsage;
            }
            listed[i] = look->styleNames[*positions[i]];
        }
    }
    int worst = kExitOk;
    for (std::size_t i = 0; i < options.designs.size(); ++i) {
        const std::string& design = options.designs[i];
        header(out, options.designs, design);
        if (std::optional<int> refusal = refusedForWriting(design, err)) {
            worst = std::max(worst, *refusal);
            continue;
        }
        DesignRun d(design, err);
        int status = kExitOk;
        // Looked at again under the lock that the run holds to its end: the
        // file may have changed since the first look, and nothing of this
        // design may change when the style is refused.
        if (options.style) {
            std::optional<DesignLook> look = lookIntoDesign(d.host());
            if (look) {
                positions[i] = findStyle(*look, *options.style);
                if (positions[i]) listed[i] = look->styleNames[*positions[i]];
            }
            if (look && !positions[i]) {
                reportUnknownStyle(err, design, *options.style, look->styleNamesAsInFile);
                worst = std::max(worst, kExitUsage);
                continue;
            }
        }
        d.step(Form_Load);
        if (options.style && !d.ended() && (!positions[i] || !chooseStyle(d.run(), *positions[i], listed[i]))) {
            // Another program wrote the file behind the lock; nothing of this
            // pass has run.
            reportUnknownStyle(err, design, *options.style, listedStyles(d.run()));
            worst = std::max(worst, kExitUsage);
            continue;
        }
        d.step(Command1_Click);
        if (!d.ended()) {
            if (options.list)
                listPlacedTexts(out, d.run(), design);
            else
                printSummary(out, options.verbosity, design, placedSummary(d.run(), d.host()), d.host(), d.warnings());
            if (d.run().list.PassEndedEarly) status = kExitPassEndedEarly;
        }
        worst = std::max({worst, status, d.status()});
    }
    return worst;
}

int runDelete(const std::vector<std::string>& designs, Verbosity verbosity, std::ostream& out, std::ostream& err) {
    int worst = kExitOk;
    for (const std::string& design : designs) {
        header(out, designs, design);
        if (std::optional<int> refusal = refusedForWriting(design, err)) {
            worst = std::max(worst, *refusal);
            continue;
        }
        DesignRun d(design, err);
        d.step(Form_Load);
        const auto [before, beforeSheets] = ownTexts(d.host().design());
        d.step(Command6_Click);
        worst = std::max(worst, d.status());
        if (d.ended()) continue;
        const host::Wording words = d.host().wording();
        const int removed = before - ownTexts(d.host().design()).first;
        printSummary(out, verbosity, design,
                     removed == 0 ? std::string("no texts to remove")
                                  : counted(removed, "text", "texts") + " removed from " +
                                        counted(beforeSheets, words.sheet, words.sheets),
                     d.host(), d.warnings());
    }
    return worst;
}

int runStatus(const std::vector<std::string>& designs, bool json, std::ostream& out, std::ostream& err) {
    int worst = kExitOk;
    for (const std::string& design : designs) {
        header(out, designs, design);
        DesignRun d(design, err);
        if (!keepsChanges(d.host())) d.host().setReadOnly(true);
        d.step(Form_Load);
        d.step(Command2_Click);
        worst = std::max(worst, d.status());
        if (d.ended()) continue;
        const Run& run = d.run();
        if (json) {
            out << "{\"oneRow\":" << std::to_string(run.counts.OneRowCount)
                << ",\"moreRows\":" << std::to_string(run.counts.MoreRowsCount)
                << ",\"noShType\":" << std::to_string(run.counts.NoShTypeCount)
                << ",\"assigned\":" << std::to_string(run.counts.AssignedCount)
                << ",\"tooLong\":" << std::to_string(run.counts.TooLongCount) << "}\n";
        } else {
            for (int i = 0; i < 5; ++i)
                out << run.form.at("Label1", i).caption << run.form.at("Text4", i).caption << '\n';
        }
    }
    return worst;
}

int runUtility(int16_t index, const std::string& design, Verbosity verbosity, std::ostream& out, std::ostream& err) {
    // Every utility but the last one highlights or reads the selection.
    if (std::optional<int> refusal = index + 1 < static_cast<int>(std::size(kUtilityNames))
                                         ? refusedForHighlight(design, err)
                                         : refusedForWriting(design, err))
        return *refusal;
    DesignRun d(design, err);
    d.step(Form_Load);
    // As a person would: open the utilities page, then press the button.
    d.step(Command10_Click);
    d.step([index](Run& run) { Command8_Click(run, index); });
    if (!d.ended()) printSummary(out, verbosity, design, std::string(kUtilityNames[index]), d.host(), d.warnings());
    return d.status();
}

int runSettings(const SettingsOptions& options, std::ostream& out, std::ostream& err) {
    struct Given {
        const char* option;
        const std::optional<std::string>& text;
        const char* box;
    };
    const Given given[] = {
        {"--left", options.left, "Text1"}, {"--right", options.right, "Text2"}, {"--max-row", options.maxRow, "Text3"}};
    bool anyGiven = options.ranges.has_value();
    for (const Given& g : given) {
        if (!g.text) continue;
        anyGiven = true;
        if (std::string why = distanceError(*g.text); !why.empty()) {
            err << "orlune: " << g.option << ": " << why << '\n';
            return kExitUsage;
        }
        // A longer text would be stored, then thrown away by the next start-up.
        if (g.text->size() > kStoredFieldWidth) {
            err << "orlune: " << g.option << ": " << quoted(*g.text) << " is longer than the "
                << std::to_string(kStoredFieldWidth) << " characters that the design keeps\n";
            return kExitUsage;
        }
    }
    if (anyGiven) {
        if (std::optional<int> refusal = refusedForWriting(options.design, err)) return *refusal;
    }
    // The run holds the design from the look to its end.
    DesignRun d(options.design, err);
    // Printing the settings changes nothing the storage must keep.
    if (!anyGiven && !keepsChanges(d.host())) d.host().setReadOnly(true);
    if (anyGiven) {
        // A value that cannot be put into force must not be stored either.
        if (std::optional<DesignLook> look = lookIntoDesign(d.host())) {
            CliPlatform quiet(err);
            Run probe(quiet);
            probe.settings.UnitCode = look->unitCode;
            for (std::size_t i = 0; i < std::size(given); ++i) {
                if (!given[i].text) continue;
                // The page's own words: out of range, or not a number where
                // the unit takes whole numbers only.
                std::string texts[3] = {"0", "0", "0"};
                texts[i] = *given[i].text;
                if (std::string why = Check_Settings(probe, texts[0], texts[1], texts[2]); !why.empty()) {
                    err << "orlune: " << given[i].option << ": " << why << '\n';
                    return kExitUsage;
                }
            }
        }
    }

    d.step(Form_Load);
    if (anyGiven) {
        d.step([&given, &options](Run& run) {
            for (const Given& g : given) {
                if (g.text) run.form.at(g.box).caption = *g.text;
            }
            if (options.ranges) run.form.at("Check1").checked = *options.ranges;
            Command5_Click(run);
        });
    }
    if (!d.ended()) {
        // Before the settings, which always end the output.
        if (anyGiven) printSummary(out, options.verbosity, options.design, "settings stored", d.host(), d.warnings());
        printSettings(out, d.run());
    }
    return d.status();
}

int runCheck(const std::vector<std::string>& designs, std::ostream& out, std::ostream& err) {
    int worst = kExitOk;
    for (const std::string& design : designs) {
        header(out, designs, design);
        host::Host host;
        host::DesignSummary s;
        std::string reason;
        if (host.check(design, s, reason) != 0) {
            out << "invalid: " << escapeText(reason) << '\n';
            worst = kExitEnded;
            continue;
        }
        printWarnings(design, s.warnings, err);
        out << "ok: " << counted(s.sheets, "sheet", "sheets") << ", "
            << counted(s.components, "component", "components") << ", "
            << counted(s.sheetConnectors, "sheet connector", "sheet connectors") << ", "
            << counted(s.nets, "net", "nets") << ", " << counted(s.buses, "bus", "buses") << ", "
            << counted(s.items, "item", "items") << '\n';
    }
    return worst;
}

}  // namespace orlune::app
