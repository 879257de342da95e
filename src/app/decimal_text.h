#pragma once

#include <cstdint>
#include <string>

namespace halvern {

// The value in decimal: "-" before a negative value, no leading zeros, no grouping, "0" for zero.
std::u16string SignedDecimalText(std::int64_t value);

}  // namespace halvern
