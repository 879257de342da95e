#include "platform/projection/hresult_error.h"

#include <new>

namespace halvern::projection {

void throw_hresult(hresult code, std::u16string message) {
    switch (code) {
        case hresults::kOutOfMemory:
            throw std::bad_alloc();
        case hresults::kAccessDenied:
            throw hresult_access_denied(std::move(message));
        case hresults::kWrongThread:
            throw hresult_wrong_thread(std::move(message));
        case hresults::kNotImplemented:
            throw hresult_not_implemented(std::move(message));
        case hresults::kNoInterface:
            throw hresult_no_interface(std::move(message));
        case hresults::kInvalidArgument:
            throw hresult_invalid_argument(std::move(message));
        case hresults::kOutOfBounds:
            throw hresult_out_of_bounds(std::move(message));
        case hresults::kClassNotAvailable:
            throw hresult_class_not_available(std::move(message));
        case hresults::kChangedState:
            throw hresult_changed_state(std::move(message));
        case hresults::kIllegalMethodCall:
            throw hresult_illegal_method_call(std::move(message));
        case hresults::kIllegalStateChange:
            throw hresult_illegal_state_change(std::move(message));
        case hresults::kIllegalDelegateAssignment:
            throw hresult_illegal_delegate_assignment(std::move(message));
        case hresults::kCanceled:
            throw hresult_canceled(std::move(message));
        default:
            throw hresult_error(code, std::move(message));
    }
}

}  // namespace halvern::projection
