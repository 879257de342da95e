#pragma once
// The projection's error types: hresult_error and its specialised kinds. Portable, since the cleanup
// drivers catch them; the message text is decided where the error is raised. Our projection has a
// namespace of its own, so that the platform's C++ projection (namespace winrt) can one day sit beside it.

#include <cstdint>
#include <string>

namespace halvern::projection {

using hresult = std::int32_t;

namespace hresults {
constexpr hresult kFail = static_cast<hresult>(0x80004005);
constexpr hresult kOutOfMemory = static_cast<hresult>(0x8007000E);
constexpr hresult kAccessDenied = static_cast<hresult>(0x80070005);
constexpr hresult kWrongThread = static_cast<hresult>(0x8001010E);
constexpr hresult kNotImplemented = static_cast<hresult>(0x80004001);
constexpr hresult kNoInterface = static_cast<hresult>(0x80004002);
constexpr hresult kPointer = static_cast<hresult>(0x80004003);
constexpr hresult kInvalidArgument = static_cast<hresult>(0x80070057);
constexpr hresult kOutOfBounds = static_cast<hresult>(0x8000000B);
constexpr hresult kClassNotAvailable = static_cast<hresult>(0x80040111);
constexpr hresult kChangedState = static_cast<hresult>(0x8000000C);
constexpr hresult kIllegalMethodCall = static_cast<hresult>(0x8000000E);
constexpr hresult kIllegalStateChange = static_cast<hresult>(0x8000000D);
constexpr hresult kIllegalDelegateAssignment = static_cast<hresult>(0x80000018);
constexpr hresult kCanceled = static_cast<hresult>(0x800704C7);  // HRESULT_FROM_WIN32(ERROR_CANCELLED)
}  // namespace hresults

class hresult_error {
  public:
    hresult_error() noexcept = default;
    hresult_error(hresult code, std::u16string message) : code_(code), message_(std::move(message)) {}
    virtual ~hresult_error() = default;

    hresult code() const noexcept { return code_; }
    std::u16string message() const { return message_; }

  private:
    hresult code_ = hresults::kFail;
    std::u16string message_;
};

// Each specialised kind is its own type, so a handler can catch one kind and not the others.
template <hresult Code>
struct hresult_kind : hresult_error {
    hresult_kind() : hresult_error(Code, {}) {}
    explicit hresult_kind(std::u16string message) : hresult_error(Code, std::move(message)) {}
};

using hresult_access_denied = hresult_kind<hresults::kAccessDenied>;
using hresult_wrong_thread = hresult_kind<hresults::kWrongThread>;
using hresult_not_implemented = hresult_kind<hresults::kNotImplemented>;
using hresult_no_interface = hresult_kind<hresults::kNoInterface>;
using hresult_invalid_argument = hresult_kind<hresults::kInvalidArgument>;
using hresult_out_of_bounds = hresult_kind<hresults::kOutOfBounds>;
using hresult_class_not_available = hresult_kind<hresults::kClassNotAvailable>;
using hresult_changed_state = hresult_kind<hresults::kChangedState>;
using hresult_illegal_method_call = hresult_kind<hresults::kIllegalMethodCall>;
using hresult_illegal_state_change = hresult_kind<hresults::kIllegalStateChange>;
using hresult_illegal_delegate_assignment = hresult_kind<hresults::kIllegalDelegateAssignment>;
using hresult_canceled = hresult_kind<hresults::kCanceled>;

// Raises the kind that matches a failing HRESULT, plain hresult_error for the others, and
// E_OUTOFMEMORY as std::bad_alloc.
[[noreturn]] void throw_hresult(hresult code, std::u16string message);

}  // namespace halvern::projection
