#include "app/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands.h"
#include "app/design_run.h"
#include "app/inspect.h"

#ifdef ORLUNE_WITH_GUI
#include "ui/qt/gui.h"
#endif

namespace orlune::app {

namespace {

constexpr std::string_view kCommands[] = {"gui",         "update", "delete", "status", "utility", "settings", "select",
                                          "unhighlight", "render", "report", "verify", "check",   "convert"};

bool isCommand(std::string_view word) {
    return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
}

// `orlune DESIGN` opens the window; a word that is no command and no path
// is far more likely a mistyped command.
bool looksLikeDesign(const std::string& word) {
    std::error_code ec;
    return std::filesystem::is_regular_file(word, ec) || word.find_first_of("./") != std::string::npos;
}

int usageError(std::ostream& err, std::string_view message) {
    // The message may quote what was typed; its own line breaks stay.
    err << "orlune: ";
    for (std::size_t from = 0;;) {
        const std::size_t end = std::min(message.find('\n', from), message.size());
        err << escapeText(message.substr(from, end - from));
        if (end == message.size()) break;
        err << '\n';
        from = end + 1;
    }
    err << "\nRun 'orlune --help' for usage.\n";
    return kExitUsage;
}

std::string utilityList() {
    std::string list;
    for (std::string_view name : kUtilityNames)
        list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

CLI::Validator utilityName() {
    return CLI::Validator(
        [](std::string& name) -> std::string {
            if (utilityIndex(name)) return {};
            return "unknown utility \"" + name + "\"; one of: " + utilityList();
        },
        "");
}

CLI::Validator distance() {
    return CLI::Validator([](std::string& text) { return distanceError(text); }, "");
}

const char* const kFooter =
    "Exit status: 0 done; 1 an update pass ended early; 2 usage error; 3 a design could not be opened,\n"
    "has more than 100 sheets or could not be saved, or a picture could not be written (check: a design\n"
    "is not valid); 4 verify found a connector whose text is not current (with --layout on a KiCad\n"
    "project also: a placed text over other drawing or off the sheet). With several designs, the\n"
    "highest of their statuses.\n"
    "\n"
    "DESIGN may also be a KiCad project: its .kicad_pro or root .kicad_sch (known by name and content).\n"
    "ORLUNE changes only its own texts there (and SH_TYPE label fields, the project's text variable\n"
    "ORLUNE); select, unhighlight and the highlight and invert utilities are refused (exit 2). A project\n"
    "open in KiCad is not written (exit 3): close the schematic in KiCad first, reload it afterwards.";

int openWindow(int argc, char** argv, std::ostream& err, const std::string& design, const std::string& screenshot,
               const std::string& page, const std::string& pass) {
    // A design the window cannot change is refused by its open, in the
    // window's error box.
    (void)err;
#ifdef ORLUNE_WITH_GUI
    qt::GuiOptions options;
    options.designPath = design;
    options.screenshotFile = screenshot;
    options.page = page;
    options.pass = pass;
    int qtArgc = argc;
    return qt::runGui(qtArgc, argv, options);
#else
    (void)argc;
    (void)argv;
    (void)design;
    (void)screenshot;
    (void)page;
    (void)pass;
    err << "orlune: this build has no window; use a command such as 'orlune update DESIGN' (see 'orlune --help')\n";
    return kExitUsage;
#endif
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    return runCommandLine(argc, argv, std::cout, std::cerr);
}

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    if (args.empty()) return usageError(err, "a command or a design is required");
    if ((args[0].empty() || args[0][0] != '-') && !isCommand(args[0])) {
        if (!looksLikeDesign(args[0])) return usageError(err, "unknown command \"" + args[0] + "\"");
        args.insert(args.begin(), "gui");
    }

    CLI::App app{"Lists beside every sheet connector of a schematic the other sheets that its signal reaches.",
                 "orlune"};
    app.set_version_flag("--version", "orlune " ORLUNE_VERSION, "Print the version and end");
    app.require_subcommand(1);
    app.footer(kFooter);
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->label("Subcommands", "Commands");
    app.get_formatter()->label("TEXT", "");

    std::vector<std::string> designs;
    std::string design;

    // Given before or after the command's name.
    bool quiet = false;
    bool verbose = false;
    CLI::Option* quietOption =
        app.add_flag("-q,--quiet", quiet, "Commands that write print no summary line on standard output");
    app.add_flag("-v,--verbose", verbose, "After the summary line, one line per file written")->excludes(quietOption);
    app.fallthrough();

    std::string screenshot;
    std::string page = "main";
    CLI::App* gui = app.add_subcommand("gui", "Open the window on DESIGN (also: orlune DESIGN)");
    gui->add_option("DESIGN", design, "The design file")->required();
    CLI::Option* screenshotOption =
        gui->add_option("--screenshot", screenshot, "Run start-up, write a PNG of the window to FILE and end")
            ->type_name("FILE");
    gui->add_option("--page", page, "The page the screenshot shows")
        ->check(CLI::IsMember({"main", "utils", "status", "settings"}))
        ->needs(screenshotOption);
    std::string pass;
    gui->add_option("--pass", pass,
                    "Before the screenshot, click this pass's button; the picture shows the boxes it ended with")
        ->check(CLI::IsMember({"update", "delete", "add-attribute"}))
        ->needs(screenshotOption)
        ->type_name("NAME");

    UpdateOptions update;
    std::string style;
    CLI::App* updateCommand = app.add_subcommand("update", "For each design: start-up, then Update");
    updateCommand->add_option("DESIGN", update.designs, "The design files")->required();
    CLI::Option* styleOption =
        updateCommand->add_option("--style", style, "The text style, by its name in the settings page's list")
            ->type_name("NAME");
    updateCommand->add_flag("--list", update.list, "Print the connector texts that the pass leaves in the design");

    CLI::App* deleteCommand = app.add_subcommand("delete", "For each design: start-up, then Delete");
    deleteCommand->add_option("DESIGN", designs, "The design files")->required();

    bool json = false;
    CLI::App* statusCommand = app.add_subcommand("status", "For each design: start-up, then the five status counts");
    statusCommand->add_option("DESIGN", designs, "The design files")->required();
    statusCommand->add_flag("--json", json, "Print the counts as one JSON object");

    std::string utility;
    CLI::App* utilityCommand = app.add_subcommand("utility", "Start-up, then one connector utility");
    utilityCommand->add_option("NAME", utility, "One of: " + utilityList())
        ->required()
        ->type_name("")
        ->check(utilityName());
    utilityCommand->add_option("DESIGN", design, "The design file")->required();

    std::string left, right, maxRow;
    CLI::App* settingsCommand =
        app.add_subcommand("settings", "Print the settings in force; with options, store and apply new distances");
    settingsCommand->add_option("DESIGN", design, "The design file")->required();
    CLI::Option* leftOption =
        settingsCommand->add_option("--left", left, "Left side start")->type_name("T")->check(distance());
    CLI::Option* rightOption =
        settingsCommand->add_option("--right", right, "Right side start")->type_name("T")->check(distance());
    CLI::Option* maxRowOption =
        settingsCommand->add_option("--max-row", maxRow, "Maximum row length")->type_name("T")->check(distance());
    std::string ranges;
    CLI::Option* rangesOption =
        settingsCommand->add_option("--ranges", ranges, "Write runs of three or more sheets as 3-7: on or off")
            ->type_name("on|off")
            ->check(CLI::IsMember({"on", "off"}));

    std::vector<std::string> refDes;
    CLI::App* selectCommand =
        app.add_subcommand("select", "Make the symbols of the named components the selection (none: clear it)");
    selectCommand->add_option("DESIGN", design, "The design file")->required();
    selectCommand->add_option("REFDES", refDes, "Reference designators");

    CLI::App* unhighlightCommand = app.add_subcommand("unhighlight", "Clear every highlight");
    unhighlightCommand->add_option("DESIGN", design, "The design file")->required();

    RenderOptions render;
    CLI::App* renderCommand = app.add_subcommand("render", "Write one SVG per sheet and an index page into DIR");
    renderCommand->add_option("DESIGN", render.designPath, "The design file")->required();
    renderCommand->add_option("-o,--output", render.outputDir, "The folder for the pictures")
        ->required()
        ->type_name("DIR");
    renderCommand->add_option("--sheet", render.sheet, "Only this sheet")
        ->type_name("N")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));

    bool reportJson = false;
    bool reportCsv = false;
    CLI::App* reportCommand = app.add_subcommand("report", "Every sheet connector with its list, text and state");
    reportCommand->add_option("DESIGN", design, "The design file")->required();
    CLI::Option* reportJsonOption = reportCommand->add_flag("--json", reportJson, "As JSON");
    reportCommand->add_flag("--csv", reportCsv, "As CSV")->excludes(reportJsonOption);

    CLI::App* verifyCommand =
        app.add_subcommand("verify", "Exit 4 when a connector's text is not what Update would place now");
    verifyCommand->add_option("DESIGN", designs, "The design files")->required();
    std::string verifyFormat = "text";
    verifyCommand
        ->add_option("--format", verifyFormat,
                     "text, or gcc: FILE:LINE:COLUMN: error: MESSAGE at each label in its file, for editors and CI")
        ->check(CLI::IsMember({"text", "gcc"}))
        ->type_name("FORMAT");
    bool verifyLayout = false;
    verifyCommand->add_flag("--layout", verifyLayout,
                            "KiCad projects: also exit 4 when a placed text lies over other drawing or off the sheet");

    CLI::App* checkCommand = app.add_subcommand("check", "Validate each design file without changing it");
    checkCommand->add_option("DESIGN", designs, "The design files")->required();

    ConvertOptions convert;
    CLI::App* convertCommand =
        app.add_subcommand("convert", "Write the design (a KiCad project, say) as ORLUNE sees it, as a design file");
    convertCommand->add_option("DESIGN", convert.design, "The design or KiCad project (.kicad_pro, .kicad_sch)")
        ->required();
    convertCommand->add_option("-o,--output", convert.output, "The design file to write")
        ->required()
        ->type_name("FILE");
    convertCommand->add_flag("--force", convert.force, "Replace FILE when it exists");

    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    try {
        app.parse(args);
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return usageError(err, e.what());
    }

    const Verbosity verbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;
    update.verbosity = verbosity;
    auto dispatch = [&]() -> int {
        if (gui->parsed()) return openWindow(argc, argv, err, design, screenshot, page, pass);
        if (updateCommand->parsed()) {
            if (styleOption->count() > 0) update.style = style;
            return runUpdate(update, out, err);
        }
        if (deleteCommand->parsed()) return runDelete(designs, verbosity, out, err);
        if (statusCommand->parsed()) return runStatus(designs, json, out, err);
        if (utilityCommand->parsed()) return runUtility(*utilityIndex(utility), design, verbosity, out, err);
        if (settingsCommand->parsed()) {
            SettingsOptions settings;
            settings.design = design;
            settings.verbosity = verbosity;
            if (leftOption->count() > 0) settings.left = left;
            if (rightOption->count() > 0) settings.right = right;
            if (maxRowOption->count() > 0) settings.maxRow = maxRow;
            if (rangesOption->count() > 0) settings.ranges = ranges == "on";
            return runSettings(settings, out, err);
        }
        if (selectCommand->parsed()) return runSelect(design, refDes, verbosity, out, err);
        if (unhighlightCommand->parsed()) return runUnhighlight(design, verbosity, out, err);
        if (renderCommand->parsed()) return runRender(render, out, err);
        if (reportCommand->parsed())
            return runReport(design,
                             reportJson  ? ReportFormat::Json
                             : reportCsv ? ReportFormat::Csv
                                         : ReportFormat::Text,
                             out, err);
        if (verifyCommand->parsed())
            return runVerify(designs, out, err, verifyFormat == "gcc" ? VerifyFormat::Gcc : VerifyFormat::Text,
                             verifyLayout);
        if (checkCommand->parsed()) return runCheck(designs, out, err);
        if (convertCommand->parsed()) return runConvert(convert, out, err);
        return usageError(err, "a command is required");
    };
    try {
        return dispatch();
    } catch (const std::exception& e) {
        // Not a condition of the commands: say so rather than pass it off as a result.
        err << "orlune: internal error: " << e.what() << '\n';
        return kExitEnded;
    }
}

}  // namespace orlune::app
