#include "platform/win32/win32_system_messages.h"

#include <windows.h>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace halvern {

std::optional<std::u16string> Win32SystemMessages::FormatMessageW(std::uint32_t message_id,
                                                                  std::uint32_t language_id) {
    UniqueLocalMemory<wchar_t> buffer;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the address of the system's buffer.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        message_id, language_id, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (!buffer) {
        return std::nullopt;
    }
    return FromWide(buffer.get(), length);
}

}  // namespace halvern
