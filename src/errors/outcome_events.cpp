#include "errors/outcome_events.h"

#include <optional>

#include "errors/failure_messages.h"
#include "telemetry/telemetry_event.h"
#include "telemetry/telemetry_upload.h"

namespace halvern {
namespace {

std::uint32_t Report(Platform& platform, EventKind event_kind, bool success, bool machine_wide,
                     const std::u16string& app_name, const std::u16string& package_family_name,
                     const std::u16string& version, std::optional<std::int32_t> error_code,
                     std::optional<std::u16string> error_message) {
    TelemetryEvent event = MakeTelemetryEvent(platform, event_kind, success, machine_wide, app_name,
                                              package_family_name, version);
    event.error_code = error_code;
    event.error_message = std::move(error_message);
    // The status is not used: the exchange has already logged it.
    std::uint32_t status = 0;
    return SendTelemetryEvent(platform, event, &status);
}

}  // namespace

std::uint32_t ReportSuccess(Platform& platform, EventKind event_kind, bool machine_wide,
                            const std::u16string& app_name, const std::u16string& package_family_name,
                            const std::u16string& version) {
    return Report(platform, event_kind, true, machine_wide, app_name, package_family_name, version,
                  std::nullopt, std::nullopt);
}

std::uint32_t ReportMSIXFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                                const std::u16string& app_name, const std::u16string& package_family_name,
                                const std::u16string& version, const MSIXException& error) {
    return Report(platform, event_kind, false, machine_wide, app_name, package_family_name, version,
                  error.system_error, FailureMessage(error));
}

std::uint32_t ReportHresultFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                                   const std::u16string& app_name, const std::u16string& package_family_name,
                                   const std::u16string& version, const projection::hresult_error& error) {
    return Report(platform, event_kind, false, machine_wide, app_name, package_family_name, version,
                  std::nullopt, FailureMessage(error));
}

std::uint32_t ReportStdFailure(Platform& platform, EventKind event_kind, bool machine_wide,
                               const std::u16string& app_name, const std::u16string& package_family_name,
                               const std::u16string& version, const std::exception& error) {
    return Report(platform, event_kind, false, machine_wide, app_name, package_family_name, version,
                  std::nullopt, FailureMessage(error));
}

}  // namespace halvern
