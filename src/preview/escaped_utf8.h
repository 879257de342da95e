#pragma once
// UTF-16 text as UTF-8 that any reader can take: control characters (U+0000 to U+001F, U+007F to
// U+009F) and lone surrogates, which UTF-8 cannot carry, are written as \uXXXX.

#include <string>
#include <string_view>

namespace halvern {

// With `json`, as inside a JSON string that every parser takes: quotation marks and backslashes are
// escaped as well, and a lone surrogate is written as U+FFFD (\ufffd).
std::string EscapedUtf8(std::u16string_view text, bool json);

// Appends each piece in turn, without the temporaries of a chain of +.
template <typename... Pieces>
void Append(std::string& out, const Pieces&... pieces) {
    (out += ... += pieces);
}

// A JSON string: the text escaped and in quotation marks.
inline std::string JsonString(std::u16string_view text) {
    return '"' + EscapedUtf8(text, true) + '"';
}

}  // namespace halvern
