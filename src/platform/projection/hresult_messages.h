#pragma once
// The message text of a failing HRESULT, and check_hresult, which raises with it.

#include <string>

#include "platform/projection/hresult_error.h"
#include "platform/restricted_error_api.h"
#include "platform/system_messages_api.h"

namespace halvern {

class HresultMessages {
  public:
    HresultMessages(RestrictedErrorApi& restricted, SystemMessagesApi& system) noexcept
        : restricted_(restricted), system_(system) {}

    // The restricted description (else the plain one) when the thread's restricted error
    // information names this same HRESULT; otherwise the system's message for it in the neutral
    // default language. Either is cut at its first NUL and not trimmed; empty when there is none.
    std::u16string MessageFor(projection::hresult code) const;

  private:
    RestrictedErrorApi& restricted_;
    SystemMessagesApi& system_;
};

}  // namespace halvern

namespace halvern::projection {

// Raises the kind that matches a failing HRESULT (E_OUTOFMEMORY as std::bad_alloc) with its message.
[[noreturn]] void throw_hresult(hresult code, const halvern::HresultMessages& messages);

// Does nothing for a success code.
inline void check_hresult(hresult code, const halvern::HresultMessages& messages) {
    if (code < 0) {
        throw_hresult(code, messages);
    }
}

}  // namespace halvern::projection
