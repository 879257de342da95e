#pragma once
// Writing UTF-8 text to a standard stream: to a console through WriteConsoleW as UTF-16, which shows it
// whatever the console's code page; to a file or pipe through WriteFile as the UTF-8 bytes.

#include <windows.h>

#include <string_view>

namespace halvern {

// `stream` is STD_OUTPUT_HANDLE or STD_ERROR_HANDLE. ERROR_SUCCESS once all of it is written, else the
// error of the call that failed.
DWORD WriteStandardStream(DWORD stream, std::string_view utf8);

}  // namespace halvern
