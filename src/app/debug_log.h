#pragma once
// The diagnostic log: one OutputDebugStringW call per "[HalvernMSIX] " line.

#include <cstdint>
#include <string>

#include "platform/debug_output_api.h"

namespace halvern {

// Builds "[HalvernMSIX] " + message + "\n" and writes it in a single call.
void WriteDebugLine(DebugOutputApi& output, const std::u16string& message);

// The value as unsigned decimal digits: no sign, no leading zeros, no grouping.
std::u16string DecimalText(std::uint32_t value);

}  // namespace halvern
