#pragma once
// The four outcome reports the cleanup drivers make. Each builds one telemetry event and posts it;
// the result is 0 when a response status was read, else the failing WinHTTP step's error number.

#include <cstdint>
#include <exception>
#include <string>

#include "errors/msix_exception.h"
#include "platform/projection/hresult_error.h"

namespace halvern {

// Any other value is sent as the event type "Unknown".
enum EventKind : std::int32_t {
    RemovePackage = 0,
    Uninstall = 1,
};

class OutcomeReporter {
  public:
    virtual ~OutcomeReporter() = default;
    virtual std::uint32_t ReportSuccess(EventKind event_kind, bool machine_wide,
                                        const std::u16string& app_name,
                                        const std::u16string& package_family_name,
                                        const std::u16string& version) = 0;
    virtual std::uint32_t ReportMSIXFailure(EventKind event_kind, bool machine_wide,
                                            const std::u16string& app_name,
                                            const std::u16string& package_family_name,
                                            const std::u16string& version, const MSIXException& error) = 0;
    virtual std::uint32_t ReportHresultFailure(EventKind event_kind, bool machine_wide,
                                               const std::u16string& app_name,
                                               const std::u16string& package_family_name,
                                               const std::u16string& version,
                                               const projection::hresult_error& error) = 0;
    virtual std::uint32_t ReportStdFailure(EventKind event_kind, bool machine_wide,
                                           const std::u16string& app_name,
                                           const std::u16string& package_family_name,
                                           const std::u16string& version, const std::exception& error) = 0;
};

}  // namespace halvern
