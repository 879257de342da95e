#include "preview/escaped_utf8.h"

namespace halvern {
namespace {

bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool IsControl(char32_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

void AppendUtf8(std::string& out, char32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
        return;
    }
    const int trailing = code_point < 0x800 ? 1 : code_point < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[trailing] | (code_point >> (6 * trailing)));
    for (int index = trailing - 1; index >= 0; --index) {
        out += static_cast<char>(0x80 | ((code_point >> (6 * index)) & 0x3F));
    }
}

}  // namespace

std::string EscapedUtf8(std::u16string_view text, bool json) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char32_t unit = text[index];
        const char32_t next = index + 1 < text.size() ? text[index + 1] : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++index;
        } else if (IsSurrogate(unit) || IsControl(unit)) {
            // A lone surrogate is no character: some JSON parsers refuse the whole document for its escape.
            const char32_t shown = json && IsSurrogate(unit) ? 0xFFFD : unit;
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += kHex[(shown >> shift) & 0xF];
            }
        } else {
            if (json && (unit == u'"' || unit == u'\\')) {
                out += '\\';
            }
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace halvern
