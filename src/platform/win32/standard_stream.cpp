#include "platform/win32/standard_stream.h"

#include <algorithm>
#include <string>

namespace halvern {
namespace {

// Until all is written: a pipe may take less than it is given.
template <typename Unit, typename Write>
DWORD WriteAll(std::basic_string_view<Unit> text, Write write) {
    while (!text.empty()) {
        DWORD written = 0;
        const auto count = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 20));
        if (!write(text.data(), count, &written)) {
            return ::GetLastError();
        }
        if (written == 0) {
            return ERROR_WRITE_FAULT;
        }
        text.remove_prefix(written);
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD WriteStandardStream(DWORD stream, std::string_view utf8) {
    const HANDLE output = ::GetStdHandle(stream);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return output == nullptr ? ERROR_INVALID_HANDLE : ::GetLastError();
    }
    DWORD mode = 0;
    if (!::GetConsoleMode(output, &mode)) {
        return WriteAll(utf8, [&](const char* data, DWORD count, DWORD* written) {
            return ::WriteFile(output, data, count, written, nullptr);
        });
    }
    const int length = static_cast<int>(utf8.size());
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), length)));
    return WriteAll(std::wstring_view(wide), [&](const wchar_t* data, DWORD count, DWORD* written) {
        return ::WriteConsoleW(output, data, count, written, nullptr);
    });
}

}  // namespace halvern
