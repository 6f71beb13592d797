// The seam between the host and where a design is stored. The host keeps
// what every design shares (the conversation with its walks and indexes,
// the cache, the lock, read-only mode); a backend reads the design named by
// a file into the model, says whether its files still hold what it read,
// and writes a changed design back. Which backend serves a design follows
// from the file the user names, by its name and its content: the passes,
// the window and the command line never know which one they talk to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/design.h"
#include "host/host.h"
#include "host/save.h"

namespace orlune::host {

// What a backend knows of a design beyond the model, for the read-only
// views (report, verify): how the user names each sheet connector, and the
// texts beginning with "@" that a user wrote. Empty for a design file.
struct ConnectorNote {
    std::string label;  // the text of the label it stands for
    std::string page;   // the page as the user reads it: page string and path
    std::string uuid;   // the label's own uuid
    // Where the user edits it: the file and the byte its node starts at
    // (-1: unknown), for messages that editors can jump to.
    std::string file;
    int64_t offset = -1;
    // Connectors with the same non-empty key are one label of a file used
    // by several pages: one text serves them all, or per-page values where
    // `perPageValues` (else nothing, when their lists differ).
    std::string sharedKey;
    bool perPageValues = false;
};
struct ForeignText {
    int32_t item = -1;  // index into design.items, or -1 when the model holds no item for it
    int32_t sheet = 0;
    std::string page;
    std::string text;
};
struct DesignNotes {
    std::vector<std::optional<ConnectorNote>> connectors;  // parallel to design.components; empty: no notes
    std::vector<ForeignText> foreignTexts;
    // The storage's y axis points down the page (the design file's points up).
    bool yDown = false;
    // A stored label, net or bus name as the page shows it (a storage may
    // write some characters as escapes); unset: as stored.
    std::function<std::string(std::string_view)> shownName;
    // Per design item: where the storage knows how its pages print, whether
    // the text stands on paper alone ("free"), leaves the drawing area ("off
    // the sheet") or lies over other drawing ("over C44, a wire"); empty
    // where not checked. Empty: the storage checks no layout.
    std::vector<std::string> layouts;
};

class Backend {
public:
    virtual ~Backend() = default;

    // The file whose companion lock guards the design at `path` (symbolic
    // links resolved), opened by the name `named`: one lock for every name
    // the design can be opened by.
    virtual std::string lockedFile(const std::string& path, const std::string& /*named*/) const { return path; }

    // A save that ended early, to be finished or undone before a read: its
    // journal, and the file whose lock guards it (`locked` when the lock the
    // open holds does).
    struct Journal {
        std::string journal;
        std::string locked;
    };
    // The journals an open under the lock of `locked` settles, for the design
    // at `path`.
    virtual std::vector<Journal> journals(const std::string& locked, const std::string& /*path*/) const {
        return {{journalPathFor(locked), locked}};
    }

    // What the lock file says of its holder, so that a process kept waiting
    // can name it; empty: nothing is written into the lock file.
    virtual std::string lockHolder(const std::string& /*path*/) const { return {}; }

    // Reads and validates the design at `path`; `name` is how reasons name
    // it. kOk with `design` set, or kFileUnreadable, kNotJson,
    // kInvalidDesign or kIncompatible with a one-line `reason`.
    virtual int32_t read(const std::string& path, const std::string& name, std::unique_ptr<Design>& design,
                         std::string& reason) = 0;

    // Whether the files still hold what the last read (or write) left in
    // them, so that its design may serve again: 1 yes, 0 no, -1 they cannot
    // be read (with `reason`).
    virtual int unchanged(const std::string& path, const std::string& name, std::string& reason) = 0;

    // Writes a changed design back, atomically; a design that differs in
    // nothing from the files is not written. kOk, or kSaveFailed with
    // `reason`; on failure the files are as they were.
    virtual int32_t write(const std::string& path, const std::string& name, const Design& design,
                          const std::function<bool(SaveStage)>& failStage, std::string& reason) = 0;

    // The files the last write() wrote, in order; empty when it needed none.
    virtual std::vector<std::string> lastWritten() const { return {}; }
    // How this storage's user names sheets and connectors (see Wording).
    virtual Wording wording() const { return {}; }

    // Forgets what was read: the next unchanged() answers 0.
    virtual void forget() = 0;

    // The warnings of the last read, one line each (empty for most designs).
    virtual const std::vector<std::string>& warnings() const {
        static const std::vector<std::string> none;
        return none;
    }

    // The design in the design-file format (host/design.h's JSON), with what
    // this backend knows beyond the model (a KiCad pin's number and name,
    // say) as extra keys. Empty when the design was not read.
    virtual std::string designFileText(const Design& design) const = 0;

    // The notes on the design the last read gave (see DesignNotes).
    virtual DesignNotes describe(const Design&) const { return {}; }

    // What a design in this storage cannot do, with the reason a command is
    // refused for: empty when it can. cannotWrite(): keep any change;
    // cannotHighlight(): hold highlight and selection at all.
    virtual std::string cannotWrite() const { return {}; }
    virtual std::string cannotHighlight() const { return {}; }
};

// The JSON design file.
std::unique_ptr<Backend> makeJsonBackend();

// The backend for the design file the user names: a KiCad project for a
// `.kicad_pro`, a `.kicad_sch`, or a file that holds a KiCad schematic;
// else the JSON design file. Reads at most the file's first bytes.
std::unique_ptr<Backend> chooseBackend(const std::string& file);

}  // namespace orlune::host
