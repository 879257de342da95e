#pragma once
// Each outcome as one telemetry event, posted at once: 0 when a response status was read, else the
// error number of the WinHTTP step that failed. Exceptions (memory) propagate to the caller.

#include <cstdint>
#include <exception>
#include <string>

#include "errors/msix_exception.h"
#include "errors/outcome_reporter.h"
#include "platform/platform.h"
#include "platform/projection/hresult_error.h"

namespace halvern {

std::uint32_t ReportSuccess(Platform& platform, EventKind event_kind, bool machine_wide,
                            const std::u16string& app_name, const std::u16string& package_family_name,
                            const std::u16string& version);

// "error_code" is the exception's system_error; "error_message" names the code and gives the message.
std::uint32_t ReportMSIXFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                                const std::u16string& app_name, const std::u16string& package_family_name,
                                const std::u16string& version, const MSIXException& error);

// No "error_code"; the HRESULT goes into "error_message" in signed decimal.
std::uint32_t ReportHresultFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                                   const std::u16string& app_name, const std::u16string& package_family_name,
                                   const std::u16string& version, const projection::hresult_error& error);

// No "error_code"; the exception's narrow text widened byte for byte.
std::uint32_t ReportStdFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                               const std::u16string& app_name, const std::u16string& package_family_name,
                               const std::u16string& version, const std::exception& error);

}  // namespace halvern
