#include "host/kicad/text_node.h"

#include <charconv>

namespace orlune::kicad {

namespace {

std::string indent(int64_t version, int nest) {
    return version >= kTabFormVersion ? std::string(static_cast<size_t>(nest), '\t')
                                      : std::string(2 * static_cast<size_t>(nest), ' ');
}

std::string uuidToken(const std::string& uuid, int64_t version) {
    return version >= kTabFormVersion ? "\"" + uuid + "\"" : uuid;
}

// Characters as KiCad counts them (a row break is one).
size_t characters(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        ++n;
    }
    return n;
}

}  // namespace

int64_t dbToIu(int64_t db) {
    const int64_t q = db / 10, r = db % 10;
    if (r >= 5) return q + 1;
    if (r <= -5) return q - 1;
    return q;
}

std::string formatIu(int64_t iu) {
    char buf[32];
    const double mm = static_cast<double>(iu) / 10000.0;
    const auto res = std::to_chars(buf, buf + sizeof buf, mm, std::chars_format::general, 10);
    std::string s(buf, res.ptr);
    return s == "-0" ? "0" : s;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

TextRun runFor(int justification, int labelSpin) {
    if (labelSpin == 90) return TextRun::Up;
    if (labelSpin == 270) return TextRun::Down;
    return justification == 6 ? TextRun::Left : TextRun::Right;
}

std::string textNode(const TextParams& params, int64_t version) {
    // Angle and justification that read the same in every version; the
    // left-running forms are the ones each version writes itself.
    const bool upright = version >= kUprightTextVersion;
    int angle = 0;
    const char* justify = "left bottom";
    switch (params.run) {
        case TextRun::Right:
            break;
        case TextRun::Left:
            angle = upright ? 0 : 180;
            justify = "right bottom";
            break;
        case TextRun::Up:
            angle = 90;
            break;
        case TextRun::Down:
            angle = upright ? 90 : 270;
            justify = "right bottom";
            break;
    }
    const std::string at =
        "(at " + formatIu(dbToIu(params.x)) + " " + formatIu(dbToIu(params.y)) + " " + std::to_string(angle) + ")";
    const std::string size = "(size " + formatIu(params.height) + " " + formatIu(params.width) + ")";
    const std::string uuid = "(uuid " + uuidToken(params.uuid, version) + ")";
    const std::string i1 = indent(version, 1), i2 = indent(version, 2);
    std::string out = i1 + "(text " + quoted(params.text);
    if (version >= kTabFormVersion) {
        const std::string i3 = indent(version, 3), i4 = indent(version, 4);
        out += "\n" + i2 + "(exclude_from_sim no)\n" + i2 + at + "\n" + i2 + "(effects\n" + i3 + "(font\n" + i4 + size +
               "\n" + i3 + ")\n" + i3 + "(justify " + justify + ")\n" + i2 + ")\n";
    } else {
        // KiCad 6 and 7 put the position on a line of its own for long texts.
        out += characters(params.text) < 50 ? " " + at + "\n" : "\n" + i2 + at + "\n";
        out += i2 + "(effects (font " + size + ") (justify " + justify + "))\n";
    }
    out += i2 + uuid + "\n" + i1 + ")";
    return out;
}

std::string hiddenFieldNode(const FieldParams& params, int64_t version, int nest) {
    const std::string at = "(at " + formatIu(params.at.x) + " " + formatIu(params.at.y) + " 0)";
    const std::string size = "(size " + formatIu(params.height) + " " + formatIu(params.width) + ")";
    const std::string i0 = indent(version, nest), i1 = indent(version, nest + 1);
    std::string out = i0 + "(property " + quoted(params.name) + " " + quoted(params.value);
    if (version >= kTabFormVersion) {
        const std::string i2 = indent(version, nest + 2), i3 = indent(version, nest + 3);
        out += "\n" + i1 + at + "\n" + i1 + "(effects\n" + i2 + "(font\n" + i3 + size + "\n" + i2 + ")\n" + i2 +
               "(hide yes)\n" + i1 + ")\n";
    } else {
        if (version < kNoFieldIdVersion && params.id >= 0) out += " (id " + std::to_string(params.id) + ")";
        out += " " + at + "\n" + i1 + "(effects (font " + size + ") hide)\n";
    }
    out += i0 + ")";
    return out;
}

}  // namespace orlune::kicad
