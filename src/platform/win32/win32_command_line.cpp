#include "platform/win32/win32_command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace halvern {

std::u16string Win32CommandLine::GetCommandLineW() {
    return FromWide(::GetCommandLineW());
}

std::optional<std::vector<std::u16string>> Win32CommandLine::CommandLineToArgvW(
    const std::u16string& command_line) {
    int count = 0;
    UniqueLocalMemory<LPWSTR> arguments(::CommandLineToArgvW(AsWide(command_line), &count));
    if (!arguments) {
        return std::nullopt;
    }
    std::vector<std::u16string> result;
    result.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        result.push_back(FromWide(arguments.get()[index]));
    }
    return result;
}

}  // namespace halvern
