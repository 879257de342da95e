#include "platform/projection/hresult_messages.h"

#include <new>

#include "platform/text_before_nul.h"

namespace halvern {
namespace {

// MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT): the user's default language.
constexpr std::uint32_t kNeutralDefaultLanguage = 0x0400;
constexpr std::int32_t kOk = 0;

}  // namespace

std::u16string HresultMessages::MessageFor(projection::hresult code) const {
    RestrictedErrorDetails details;
    if (restricted_.GetRestrictedErrorInfo(details) == kOk && details.error == code) {
        if (details.restricted_description) {
            return TextBeforeNul(*details.restricted_description);
        }
        return TextBeforeNul(details.description.value_or(std::u16string()));
    }
    return TextBeforeNul(system_.FormatMessageW(static_cast<std::uint32_t>(code), kNeutralDefaultLanguage)
                             .value_or(std::u16string()));
}

}  // namespace halvern

namespace halvern::projection {

void throw_hresult(hresult code, const halvern::HresultMessages& messages) {
    // No message for this one: composing it could itself run out of memory.
    if (code == hresults::kOutOfMemory) {
        throw std::bad_alloc();
    }
    throw_hresult(code, messages.MessageFor(code));
}

}  // namespace halvern::projection
