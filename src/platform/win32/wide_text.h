#pragma once
// UTF-16 text crosses the Win32 boundary as wchar_t, which is 16 bits on Windows.

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Win32 binding needs a 16-bit wchar_t");

namespace halvern {

inline const wchar_t* AsWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const wchar_t* AsWide(const std::u16string& text) {
    return AsWide(text.c_str());
}
inline std::u16string FromWide(const wchar_t* text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}
inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace halvern
