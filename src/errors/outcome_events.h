#pragma once
// Each outcome as one telemetry event, posted at once: 0 when a response status was read, else the error
// number of the WinHTTP step that failed. Exceptions (memory) propagate to the caller.

#include <cstdint>
#include <exception>
#include <string>

#include "common/scope.h"
#include "errors/msix_exception.h"
#include "platform/platform.h"
#include "platform/projection/hresult_error.h"
#include "telemetry/telemetry_event.h"

namespace halvern {

// What an outcome is about: its event's kind, the run's scope, and the application, package family and
// version the event names.
struct OutcomeSubject {
    EventKind event_kind;
    Scope machine_wide;
    const std::u16string& app_name;
    const std::u16string& package_family_name;
    const std::u16string& version;
};

std::uint32_t ReportSuccess(Platform& platform, const OutcomeSubject& subject);

// "error_code" is the exception's system_error; "error_message" names the code and gives the message.
std::uint32_t ReportMSIXFailure(Platform& platform, const OutcomeSubject& subject,
                                const MSIXException& error);

// No "error_code"; the HRESULT goes into "error_message" in signed decimal.
std::uint32_t ReportHresultFailure(Platform& platform, const OutcomeSubject& subject,
                                   const projection::hresult_error& error);

// No "error_code"; the exception's narrow text widened byte for byte.
std::uint32_t ReportStdFailure(Platform& platform, const OutcomeSubject& subject,
                               const std::exception& error);

}  // namespace halvern
