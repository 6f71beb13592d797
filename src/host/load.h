// Reading a design file: the JSON checked against the design-file contract
// and turned into the typed model. Every refusal comes with a one-line
// reason "FILE:LINE: FIELD-PATH: what is wrong".
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/design.h"
#include "host/host.h"

namespace orlune::host {

// Empty for a regular file's mode; otherwise why a file of that mode is not
// read as a design ("it is not a regular file but a pipe; ...").
std::string notRegularFile(mode_t mode);

// Reads a whole regular file (anything else is refused unread). False, with "NAME: cannot be read: WHY", on failure.
bool readDesignBytes(const std::string& path, std::string_view name, std::string& bytes, std::string& reason);

// Whether the file still holds exactly `bytes`, without a second copy of it:
// 1 yes, 0 no, -1 it cannot be read ("NAME: cannot be read: WHY").
int sameDesignBytes(const std::string& path, std::string_view name, std::string_view bytes, std::string& reason);

// Parses and validates the bytes of a design file; `name` is how reasons
// name the file. Answers kOk with `design` set (its document holds the
// parsed JSON and `bytes`), or kNotJson, kInvalidDesign or kIncompatible
// with `reason` set.
int32_t loadDesign(std::shared_ptr<const std::string> bytes, std::string_view name, std::unique_ptr<Design>& design,
                   std::string& reason);

// The counts that `orlune check` prints.
DesignSummary summarize(const Design& design);

// The keys the loader reads in each kind of object, for the schema's test
// and the documentation. Every array-valued key is optional (missing: empty).
struct KnownObject {
    std::string_view name;  // "design", "textStyle", "sheet", "textItem", ...
    std::vector<std::string_view> required;
    std::vector<std::string_view> optional;
};
const std::vector<KnownObject>& knownObjects();

// The rules for a reference designator and a bus name: non-empty, no space
// at either end, only characters that Windows-1252 has, at most 99 bytes in
// it, no NUL. Empty when `name` is valid, else what is wrong.
std::string textFieldNameProblem(std::string_view name);

}  // namespace orlune::host
