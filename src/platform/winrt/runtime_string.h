#pragma once
// Windows Runtime strings: an owner for the HSTRINGs the platform hands out, a string reference that passes
// the caller's text without copying, and reading a string's text. Their functions are in combase, which the
// activation that comes first has loaded.

#include <windows.h>
#include <winstring.h>

#include <string>

#include "platform/abi/base.h"
#include "platform/projection/hresult_messages.h"
#include "platform/unique_handle.h"

namespace halvern {

struct HStringTraits {
    using handle_type = HSTRING;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type text) const noexcept { ::WindowsDeleteString(text); }
};
using UniqueHString = UniqueHandle<HStringTraits>;

// A fast-pass string over the caller's text: valid while both it and the text live, so neither
// copies nor moves.
class StringReference {
  public:
    // Raises hresult_error when the system refuses the text.
    StringReference(const std::u16string& text, const HresultMessages& messages);
    // A temporary text would be gone before the reference is used.
    StringReference(std::u16string&& text, const HresultMessages& messages) = delete;
    StringReference(const StringReference&) = delete;
    StringReference& operator=(const StringReference&) = delete;

    // Null for the empty text, as the platform represents it.
    HSTRING get() const noexcept { return handle_; }

  private:
    HSTRING_HEADER header_{};
    HSTRING handle_ = nullptr;
};

// The whole text, embedded NULs included; empty for a null string.
std::u16string RuntimeText(HSTRING text);

}  // namespace halvern
