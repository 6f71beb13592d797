#include "support/test_support.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace orlune::test {

Answer RecordingPlatform::messageBox(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
    boxes.push_back({std::string(text), std::string(title), icon, buttons});
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (answers.empty()) return Answer::No;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

void RecordingPlatform::endProgram() {
    ++endCount;
    throw ProgramEnded();
}

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("orlune-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::filesystem::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

HostedRun::HostedRun(std::string_view designJson) : designPath(dir.file("design.json")) {
    writeFile(designPath, designJson);
    host.setDesignFile(designPath.string());
    run = std::make_unique<Run>(platform);
}

}  // namespace orlune::test
