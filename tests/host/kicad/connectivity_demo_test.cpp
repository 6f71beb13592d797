// KiCad's own answer as the oracle: for every multi-page demo project of
// KiCad 6 and 9, the nets computed from the project (pins by reference and
// pin number, and the net names) equal the netlist `kicad-cli sch export
// netlist` writes for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/kicad/connectivity.h"
#include "host/kicad/kicad_test_support.h"
#include "host/kicad/project.h"
#include "host/kicad/to_connectivity.h"

namespace orlune::kicad {
namespace {

namespace fs = std::filesystem;

// Net name -> sorted "REF:PIN" of every board symbol's pin on it.
using Netlist = std::map<std::string, std::set<std::string>>;

// The `(net (name …) (node (ref …) (pin …)) …)` lists of a netlist in
// KiCad's s-expression form.
class NetlistParser {
public:
    explicit NetlistParser(std::string text) : text_(std::move(text)) {}

    Netlist nets() {
        Netlist out;
        std::string net;
        std::string ref;
        std::vector<std::string> stack;
        for (Token t = next(); t.kind != Token::End; t = next()) {
            if (t.kind == Token::Open) {
                const Token head = next();
                stack.push_back(head.text);
                if (head.text == "net") net.clear();
                continue;
            }
            if (t.kind == Token::Close) {
                if (!stack.empty()) stack.pop_back();
                continue;
            }
            const std::string& key = stack.empty() ? std::string() : stack.back();
            const bool inNet = stack.size() >= 2 && stack[stack.size() - 2] == "net";
            const bool inNode = stack.size() >= 2 && stack[stack.size() - 2] == "node";
            if (key == "name" && inNet) net = t.text;
            if (key == "ref" && inNode) ref = t.text;
            if (key == "pin" && inNode) out[net].insert(ref + ":" + t.text);
        }
        return out;
    }

private:
    struct Token {
        enum Kind { Open, Close, Atom, End } kind;
        std::string text;
    };
    Token next() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        if (pos_ >= text_.size()) return {Token::End, {}};
        const char c = text_[pos_];
        if (c == '(' || c == ')') {
            ++pos_;
            return {c == '(' ? Token::Open : Token::Close, {}};
        }
        std::string s;
        if (c == '"') {
            for (++pos_; pos_ < text_.size() && text_[pos_] != '"'; ++pos_) {
                if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
                s += text_[pos_];
            }
            ++pos_;
            return {Token::Atom, s};
        }
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) && text_[pos_] != '(' &&
               text_[pos_] != ')')
            s += text_[pos_++];
        return {Token::Atom, s};
    }
    std::string text_;
    std::size_t pos_ = 0;
};

// Ours in the same form: pins of symbols that go on the board.
Netlist computed(const ConnectivityInput& in, const ConnectivityResult& r) {
    Netlist out;
    for (const Net& net : r.nets)
        for (const PinRef& p : net.pins) {
            const Symbol& s = in.instances[p.instance].symbols[p.symbol];
            if (s.reference.empty() || s.reference[0] == '#' || s.excludedFromBoard) continue;
            out[net.name].insert(s.reference + ":" + s.pins[p.pin].number);
        }
    return out;
}

std::string kicadCli() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin"}) {
        const fs::path cli = fs::path(dir) / "kicad-cli";
        if (fs::exists(cli)) return cli.string();
    }
    return {};
}

struct Demo {
    std::string label;  // "9/video"
    fs::path project;
};

// Every project of both demo sets; which are multi-page is known once read.
std::vector<Demo> demos() {
    std::vector<Demo> out;
    for (const auto& [version, root] : {std::pair{"6", test::kKicad6Demos}, std::pair{"9", test::kKicad9Demos}}) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        std::vector<fs::path> found;
        for (const auto& e : fs::recursive_directory_iterator(root, ec))
            if (e.path().extension() == ".kicad_pro" && fs::exists(fs::path(e.path()).replace_extension(".kicad_sch")))
                found.push_back(e.path());
        std::sort(found.begin(), found.end());
        for (const fs::path& p : found)
            out.push_back({std::string(version) + "/" + p.stem().string(), p});
    }
    if (out.empty()) out.push_back({"none", {}});
    return out;
}

std::string describe(const Netlist& ours, const Netlist& theirs) {
    // Partition by pin sets, names aside.
    std::map<std::set<std::string>, std::string> oursBySet;
    std::map<std::set<std::string>, std::string> theirsBySet;
    for (const auto& [name, pins] : ours)
        if (!pins.empty()) oursBySet[pins] = name;
    for (const auto& [name, pins] : theirs)
        if (!pins.empty()) theirsBySet[pins] = name;
    std::ostringstream out;
    int shown = 0;
    const auto list = [&](const std::set<std::string>& pins) {
        std::string s;
        int n = 0;
        for (const std::string& p : pins) {
            if (++n > 6) return s + " …";
            s += " " + p;
        }
        return s;
    };
    for (const auto& [pins, name] : theirsBySet) {
        const auto it = oursBySet.find(pins);
        if (it == oursBySet.end()) {
            if (shown++ < 12) out << "\n  KiCad net " << name << " {" << list(pins) << " } is not ours";
        } else if (it->second != name && shown++ < 12) {
            out << "\n  KiCad names " << name << ", we name " << it->second;
        }
    }
    for (const auto& [pins, name] : oursBySet)
        if (!theirsBySet.count(pins) && shown++ < 12)
            out << "\n  our net " << name << " {" << list(pins) << " } is not KiCad's";
    if (shown > 12) out << "\n  (" << shown << " differences)";
    return out.str();
}

void PrintTo(const Demo& d, std::ostream* os) {
    *os << d.label;
}

class KicadNetlist : public testing::TestWithParam<Demo> {};

TEST_P(KicadNetlist, EqualsOursOnEveryMultiPageDemo) {
    const Demo& demo = GetParam();
    if (demo.project.empty()) GTEST_SKIP() << "no KiCad demos installed";
    const std::string cli = kicadCli();
    if (cli.empty()) GTEST_SKIP() << "kicad-cli not installed";

    const sch::Project project = sch::readProject(demo.project.string());
    if (project.instances.size() < 2) GTEST_SKIP() << "one page only";
    const ConnectivityInput input = toConnectivityInput(project);
    const Netlist ours = computed(input, computeConnectivity(input));

    // kicad-cli may write beside the project: give it a copy.
    const fs::path work = fs::temp_directory_path() / ("orlune-netlist-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(demo.project.parent_path(), work / "p", fs::copy_options::recursive);
    const fs::path root = work / "p" / fs::relative(project.files[0].path, demo.project.parent_path());
    const fs::path net = work / "out.net";
    const std::string command =
        cli + " sch export netlist -o '" + net.string() + "' '" + root.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(command.c_str())) << command;
    std::ifstream file(net);
    std::stringstream text;
    text << file.rdbuf();
    const Netlist theirs = NetlistParser(text.str()).nets();
    fs::remove_all(work);

    EXPECT_TRUE(ours == theirs) << demo.label << ":" << describe(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadNetlist, testing::ValuesIn(demos()),
                         [](const testing::TestParamInfo<Demo>& param) {
                             std::string name;
                             for (const char c : param.param.label)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
}  // namespace orlune::kicad
