#pragma once
// The one order in which the tool catches what a step of a cleanup raises: its own MSIXException, then the
// projection's hresult_error with its kinds, then any std::exception (running out of memory among them).
// The run reports what it catches, the preview shows it; both catch it here.

#include <exception>
#include <utility>

#include "errors/msix_exception.h"
#include "platform/projection/hresult_error.h"

namespace halvern {

// The body's result; after a failure, what on_failure returns for the error it is given, as its own type.
template <typename Body, typename OnFailure>
decltype(auto) CatchFailure(Body&& body, OnFailure&& on_failure) {
    try {
        return std::forward<Body>(body)();
    } catch (const MSIXException& error) {
        return on_failure(error);
    } catch (const projection::hresult_error& error) {
        return on_failure(error);
    } catch (const std::exception& error) {
        return on_failure(error);
    }
}

}  // namespace halvern
