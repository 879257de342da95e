#pragma once
// The diagnostic log: one OutputDebugStringW call per "[HalvernMSIX] " line.

#include <string>

#include "common/decimal_text.h"
#include "platform/debug_output_api.h"

namespace halvern {

// Builds "[HalvernMSIX] " + message + "\n" and writes it in a single call.
void WriteDebugLine(DebugOutputApi& output, const std::u16string& message);

}  // namespace halvern
