#pragma once
// FormatMessageW from the system's message table; the buffer it allocates is freed with LocalFree.

#include "platform/system_messages_api.h"

namespace halvern {

class Win32SystemMessages final : public SystemMessagesApi {
  public:
    std::optional<std::u16string> FormatMessageW(std::uint32_t message_id,
                                                 std::uint32_t language_id) override;
};

}  // namespace halvern
