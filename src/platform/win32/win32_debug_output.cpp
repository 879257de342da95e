#include "platform/win32/win32_debug_output.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace halvern {

void Win32DebugOutput::OutputDebugStringW(const char16_t* text) {
    ::OutputDebugStringW(AsWide(text));
}

}  // namespace halvern
