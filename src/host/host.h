// The host behind the DBX operations: a design held in a JSON file (see the
// design-file page of the README). The launcher and the tests talk to it
// through this interface; the program itself only through the DBX operations.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orlune::host {

struct Design;  // the model behind the operations (host/design.h)

// Where an atomic save can fail; a test hook may make any stage fail.
// Access: the caller may not write the file in place (a read-only file,
// another user's file), so the save must not replace it either. Renamed:
// just after a file of a save of several took its new bytes.
enum class SaveStage { Access, CreateTemp, Write, Flush, Rename, Renamed };

// Counts that `orlune check` prints.
struct DesignSummary {
    int sheets = 0;
    int components = 0;
    int sheetConnectors = 0;
    int nets = 0;
    int buses = 0;
    int items = 0;
    // What the reading noticed but accepted (a KiCad project's pages that
    // share a number, say), one line each.
    std::vector<std::string> warnings;
};

// How a storage's user names what the command line's summaries count, and
// what the user must do before a written change shows where they look.
struct Wording {
    std::string sheet = "sheet";
    std::string sheets = "sheets";
    std::string connectors = "sheet connectors";
    std::string afterWrite;  // empty: nothing to do
};

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The design that TOpenDesign opens; empty: no design open.
    void setDesignFile(std::string path);
    const std::string& designFile() const;

    // Conversations work on a copy held in memory that is never saved
    // (check, verify, report).
    void setReadOnly(bool readOnly);

    // How long an open waits for the design's lock when another process
    // holds it; by default ORLUNE_LOCK_WAIT_MS or 5 seconds.
    void setLockWait(int milliseconds);

    // While set, the lock that an open takes stays held after its close, up
    // to clearing it or the host's end: the conversations of one command
    // (start-up, then the pass) then form one run that no other run can
    // enter between them. Each close still saves its changes.
    void holdDesign(bool hold);

    // The one-line reason (file, where, what) of the last failed open.
    const std::string& lastOpenError() const;
    // The reason of the last failed save at TCloseDesign; empty when the
    // last close saved or had nothing to save.
    const std::string& lastSaveError() const;

    // Validates the named file without opening a conversation. Returns 0 and
    // fills `summary`, or the status TOpenDesign would answer with `reason`.
    int32_t check(const std::string& path, DesignSummary& summary, std::string& reason);
    // As check(), and `text` is the design in the design-file format, with
    // what its storage knows beyond the model as extra keys.
    int32_t exportDesign(const std::string& path, std::string& text, DesignSummary& summary, std::string& reason);

    // What the design named by setDesignFile cannot do where it is stored,
    // as the reason a command is refused for; empty when it can.
    // cannotWrite(): keep a change (a conversation that changed it fails to
    // save with this reason, writing nothing). cannotHighlight(): hold
    // highlight and selection at all.
    std::string cannotWrite();
    std::string cannotHighlight();
    // What the last read of the design accepted with a warning (a KiCad
    // project open in KiCad, two pages of one number), one line each.
    const std::vector<std::string>& warnings() const;
    // Every file that this host's saves wrote, each once, in the order first
    // written (a save that found nothing to change writes none).
    const std::vector<std::string>& writtenFiles() const;
    void forgetWrittenFiles();
    // The words of the storage that serves the design named by setDesignFile.
    Wording wording();

    // Host-side commands on the design file named by setDesignFile, outside
    // any conversation: each opens the file (lock included), changes it and
    // saves it only when something changed. Answers 0, an open status, or
    // kNotFound / kSaveFailed, with `reason` set on failure.
    // Makes exactly the symbols of these components the selection (no items,
    // no other symbol); empty: clears the selection. A reference designator
    // the design lacks changes nothing and answers kNotFound.
    int32_t selectSymbols(const std::vector<std::string>& refDes, std::string& reason);
    // Sets every symbol's highlight to 0.
    int32_t clearHighlights(std::string& reason);

    // The design of the open conversation (or of the last one, read-only
    // use between conversations); null when none was read.
    Design* design();

    // Test hooks. `onCall` runs at the start of every DBX operation with its
    // name. `failSave` is asked at each stage of a save; true makes it fail.
    std::function<void(std::string_view operation)> onCall;
    std::function<bool(SaveStage stage)> failSave;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    int32_t read(const std::string& path, std::string* text, DesignSummary& summary, std::string& reason);

    std::unique_ptr<Impl> impl_;
};

// Makes `host` the one that the DBX operations of the calling thread talk
// to, for the lifetime of the binding.
class HostBinding {
public:
    explicit HostBinding(Host& host);
    ~HostBinding();
    HostBinding(const HostBinding&) = delete;
    HostBinding& operator=(const HostBinding&) = delete;

private:
    Host* previous_;
};

// Host statuses besides those the program tests (0, 32006, 32232).
enum Status : int32_t {
    kOk = 0,
    kNoDesign = 32001,        // no design file named
    kFileUnreadable = 32002,  // missing or unreadable
    kNotJson = 32003,         // not well-formed JSON
    kInvalidDesign = 32004,   // JSON, but not a valid design
    kDesignBusy = 32005,      // another process holds the design's lock
    kIncompatible = 32006,    // unsupported file version or DBX version
    kNotOpen = 32010,         // no conversation, or a wrong context
    kNotFound = 32011,        // no such layer, component, style, net, bus, item
    kWalkEnded = 32012,       // a walk has no further item
    kBadArgument = 32013,     // a record that the operation cannot accept
    kSaveFailed = 32020,      // TCloseDesign could not write the design
    kTextTooLong = 32232,     // TPlaceText: longer than the design's text limit
};

}  // namespace orlune::host
