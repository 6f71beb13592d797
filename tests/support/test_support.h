// Shared test helpers: a platform that records message boxes, temporary
// design files, and a run bound to its own host.
#pragma once

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/platform.h"
#include "host/host.h"
#include "run/run.h"

namespace orlune::test {

struct ShownBox {
    std::string text;
    std::string title;
    Icon icon;
    Buttons buttons;
};

// Records every box; answers questions from a script (No when it runs out).
class RecordingPlatform : public Platform {
public:
    Answer messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;
    std::vector<ShownBox> boxes;
    std::deque<Answer> answers;
    int endCount = 0;
    [[noreturn]] void endProgram() override;
};

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view content);

// A design file in its own folder, a host that serves it to this thread, a
// recording platform and a run: what most procedure tests need.
class HostedRun {
public:
    explicit HostedRun(std::string_view designJson);
    std::string designText() const { return readFile(designPath); }

    TempDir dir;
    std::filesystem::path designPath;
    host::Host host;
    host::HostBinding binding{host};
    RecordingPlatform platform;
    std::unique_ptr<Run> run;
};

}  // namespace orlune::test
