#pragma once
// A form decoder of the tests' own, written the way a receiver decodes: split at every "&", each
// pair at its first "=", then undo the four escapes in one pass.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvern::testing {

using DecodedForm = std::vector<std::pair<std::u16string, std::u16string>>;

inline std::u16string Unescape(const std::u16string& text) {
    std::u16string plain;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const std::u16string_view rest = std::u16string_view(text).substr(index, 3);
        if (rest == u"%25" || rest == u"%26" || rest == u"%3D" || rest == u"%2B") {
            plain.push_back(rest == u"%25" ? u'%' : rest == u"%26" ? u'&' : rest == u"%3D" ? u'=' : u'+');
            index += 2;
        } else {
            plain.push_back(text[index]);
        }
    }
    return plain;
}

// Splits at every "&", then each pair at its first "=", then undoes the escapes.
inline DecodedForm DecodeForm(const std::u16string& body) {
    DecodedForm fields;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find(u'&', start);
        if (end == std::u16string::npos) {
            end = body.size();
        }
        const std::u16string pair = body.substr(start, end - start);
        const std::size_t equals = pair.find(u'=');
        fields.emplace_back(Unescape(pair.substr(0, equals)),
                            equals == std::u16string::npos ? u"<no =>" : Unescape(pair.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

// The body bytes as UTF-16LE code units; an odd count keeps a marker so that it cannot pass.
inline std::u16string BodyText(const std::vector<unsigned char>& bytes) {
    std::u16string text;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        text.push_back(static_cast<char16_t>(bytes[index] | (bytes[index + 1] << 8)));
    }
    if (bytes.size() % 2 != 0) {
        text += u"<odd byte>";
    }
    return text;
}

}  // namespace halvern::testing
