#include "common/debug_log.h"

namespace halvern {

void WriteDebugLine(DebugOutputApi& output, const std::u16string& message) {
    std::u16string line = u"[HalvernMSIX] ";
    line.reserve(line.size() + message.size() + 1);
    line += message;
    line += u'\n';
    output.OutputDebugStringW(line.c_str());
}

}  // namespace halvern
