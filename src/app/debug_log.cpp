#include "app/debug_log.h"

#include <algorithm>

namespace halvern {

void WriteDebugLine(DebugOutputApi& output, const std::u16string& message) {
    std::u16string line = u"[HalvernMSIX] ";
    line.reserve(line.size() + message.size() + 1);
    line += message;
    line += u'\n';
    output.OutputDebugStringW(line.c_str());
}

std::u16string DecimalText(std::uint32_t value) {
    std::u16string digits;
    do {
        digits.push_back(static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

}  // namespace halvern
