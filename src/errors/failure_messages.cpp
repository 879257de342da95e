#include "errors/failure_messages.h"

#include "common/decimal_text.h"
#include "platform/text_before_nul.h"

namespace halvern {

std::u16string FailureMessage(const MSIXException& error) {
    return u"MSIXError(" + ErrorCodeName(error.code) + u"): " + error.message;
}

std::u16string FailureMessage(const projection::hresult_error& error) {
    return u"winrt::hresult_error(" + SignedDecimalText(error.code()) + u"): " +
           TextBeforeNul(error.message());
}

std::u16string FailureMessage(const std::exception& error) {
    std::u16string wide = u"std::exception: ";
    for (const char* cursor = error.what(); *cursor != '\0'; ++cursor) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*cursor)));
    }
    return wide;
}

}  // namespace halvern
