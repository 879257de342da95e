#pragma once
// Numbers as text, in one rendering: decimal digits, "-" before a negative value, no leading zeros,
// no grouping, "0" for zero.

#include <cstdint>
#include <string>

namespace halvern {

std::u16string SignedDecimalText(std::int64_t value);

// The diagnostic log's rendering of error numbers and statuses: unsigned 32-bit, so never a sign.
inline std::u16string DecimalText(std::uint32_t value) {
    return SignedDecimalText(value);
}

}  // namespace halvern
