#include "platform/winrt/runtime_string.h"

#include <type_traits>

#include "platform/win32/wide_text.h"

static_assert(std::is_same_v<HSTRING, halvern::abi::hstring>,
              "the ABI declarations must use the platform's HSTRING");

namespace halvern {

StringReference::StringReference(const std::u16string& text, const HresultMessages& messages) {
    projection::check_hresult(
        ::WindowsCreateStringReference(AsWide(text), static_cast<UINT32>(text.size()), &header_, &handle_),
        messages);
}

std::u16string RuntimeText(HSTRING text) {
    UINT32 length = 0;
    const wchar_t* buffer = ::WindowsGetStringRawBuffer(text, &length);
    return buffer == nullptr ? std::u16string() : FromWide(buffer, length);
}

}  // namespace halvern
