#include "cli/shown_text.h"

#include <cstdint>

#include "app/report_json.h"

namespace vexo::cli {

std::string ShownText(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto hex = [&out](uint8_t b) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    };
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Length(text, i);
        const uint8_t b = uint8_t(text[i]);
        if (length == 0) {
            hex(b);
            ++i;
        } else if (length == 1 && (b < 0x20 || b == 0x7F)) {
            switch (b) {
                case 0x1B: out += "\\e"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default: hex(b);
            }
            ++i;
        } else if (length == 2 && b == 0xC2 && uint8_t(text[i + 1]) < 0xA0) {
            hex(b);  // U+0080 to U+009F: the terminal's other control characters
            hex(uint8_t(text[i + 1]));
            i += 2;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace vexo::cli
