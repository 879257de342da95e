#include "common/decimal_text.h"

#include <algorithm>

namespace halvern {

std::u16string SignedDecimalText(std::int64_t value) {
    // The magnitude in unsigned arithmetic, so that INT64_MIN needs no negation that overflows.
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::u16string text;
    do {
        text.push_back(static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        text.push_back(u'-');
    }
    std::reverse(text.begin(), text.end());
    return text;
}

}  // namespace halvern
