// Shared by the KiCad tests: the demo folders and small projects written
// into a fresh temporary folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace orlune::kicad::test {

inline const std::filesystem::path kKicad6Demos = ORLUNE_KICAD6_DEMOS;
inline const std::filesystem::path kKicad9Demos = ORLUNE_KICAD9_DEMOS;

// A temporary folder holding the given files (name -> content), removed
// when it goes out of scope.
class TempProject {
public:
    explicit TempProject(const std::map<std::string, std::string>& files) {
        static int counter = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("orlune-kicad-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
        for (const auto& [name, content] : files)
            std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    ~TempProject() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempProject(const TempProject&) = delete;
    TempProject& operator=(const TempProject&) = delete;
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// A schematic of `version` with the given top-level items.
inline std::string schematic(const std::string& items, const std::string& version = "20250114",
                             const std::string& uuid = "00000000-0000-0000-0000-0000000000aa") {
    return "(kicad_sch (version " + version + ") (generator \"eeschema\") (uuid \"" + uuid + "\") (paper \"A4\")\n" +
           items + "\n)\n";
}

// A sheet symbol using `file`, KiCad 7+ form, on page `page` below the root.
inline std::string sheet(const std::string& uuid, const std::string& name, const std::string& file,
                         const std::string& page,
                         const std::string& rootUuid = "00000000-0000-0000-0000-0000000000aa") {
    return "(sheet (at 10 10) (size 20 20) (uuid \"" + uuid + "\")\n (property \"Sheetname\" \"" + name +
           "\" (at 0 0 0))\n (property \"Sheetfile\" \"" + file +
           "\" (at 0 0 0))\n (instances (project \"p\" (path \"/" + rootUuid + "\" (page \"" + page + "\")))))\n";
}

}  // namespace orlune::kicad::test
