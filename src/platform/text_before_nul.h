#pragma once
// Texts from the system are taken up to their first NUL: what follows it is not part of the text.

#include <string>
#include <string_view>

namespace halvern {

inline std::u16string TextBeforeNul(std::u16string_view text) {
    return std::u16string(text.substr(0, text.find(u'\0')));
}

}  // namespace halvern
