#pragma once
// How the tool words a caught failure: the "error_message" of its outcome event, which the preview also
// shows.

#include <exception>
#include <string>

#include "errors/msix_exception.h"
#include "platform/projection/hresult_error.h"

namespace halvern {

// "MSIXError(" + the code's name + "): " + the message.
std::u16string FailureMessage(const MSIXException& error);
// "winrt::hresult_error(" + the HRESULT in signed decimal + "): " + the message up to its first NUL.
std::u16string FailureMessage(const projection::hresult_error& error);
// "std::exception: " + the narrow text widened byte for byte.
std::u16string FailureMessage(const std::exception& error);

}  // namespace halvern
