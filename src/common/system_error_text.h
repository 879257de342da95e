#pragma once
// The system's text for an error number, as the tool puts it into the failures it reports.

#include <cstdint>
#include <string>

#include "platform/system_messages_api.h"

namespace halvern {

// FormatMessageW's US-English text for the number, kept whole (with its line break), whatever the user's
// display language; empty when the system has none.
std::u16string SystemErrorText(SystemMessagesApi& messages, std::uint32_t error);

}  // namespace halvern
