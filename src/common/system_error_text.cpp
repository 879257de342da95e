#include "common/system_error_text.h"

namespace halvern {
namespace {

constexpr std::uint32_t kEnglishUnitedStates = 0x0409;

}  // namespace

std::u16string SystemErrorText(SystemMessagesApi& messages, std::uint32_t error) {
    return messages.FormatMessageW(error, kEnglishUnitedStates).value_or(std::u16string());
}

}  // namespace halvern
