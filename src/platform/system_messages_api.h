#pragma once
// Seam for the system's message table (FormatMessageW from the system, inserts ignored, buffer
// allocated by the system and released with LocalFree).

#include <cstdint>
#include <optional>
#include <string>

namespace halvern {

class SystemMessagesApi {
  public:
    virtual ~SystemMessagesApi() = default;
    // The message text exactly as the system wrote it; nothing when the system returns no buffer.
    virtual std::optional<std::u16string> FormatMessageW(std::uint32_t message_id,
                                                         std::uint32_t language_id) = 0;
};

}  // namespace halvern
