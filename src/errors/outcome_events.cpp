#include "errors/outcome_events.h"

#include <optional>

#include "errors/failure_messages.h"
#include "telemetry/telemetry_upload.h"

namespace halvern {
namespace {

std::uint32_t Report(Platform& platform, const OutcomeSubject& subject, bool success,
                     std::optional<std::int32_t> error_code, std::optional<std::u16string> error_message) {
    TelemetryEvent event = MakeTelemetryEvent(platform, subject.event_kind, success, subject.machine_wide,
                                              subject.app_name, subject.package_family_name, subject.version);
    event.error_code = error_code;
    event.error_message = std::move(error_message);
    // The status is not used: the exchange has already logged it.
    std::uint32_t status = 0;
    return SendTelemetryEvent(platform, event, &status);
}

}  // namespace

std::uint32_t ReportSuccess(Platform& platform, const OutcomeSubject& subject) {
    return Report(platform, subject, true, std::nullopt, std::nullopt);
}

std::uint32_t ReportMSIXFailure(Platform& platform, const OutcomeSubject& subject,
                                const MSIXException& error) {
    return Report(platform, subject, false, error.system_error, FailureMessage(error));
}

std::uint32_t ReportHresultFailure(Platform& platform, const OutcomeSubject& subject,
                                   const projection::hresult_error& error) {
    return Report(platform, subject, false, std::nullopt, FailureMessage(error));
}

std::uint32_t ReportStdFailure(Platform& platform, const OutcomeSubject& subject,
                               const std::exception& error) {
    return Report(platform, subject, false, std::nullopt, FailureMessage(error));
}

}  // namespace halvern
