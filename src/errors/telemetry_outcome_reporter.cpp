#include "errors/telemetry_outcome_reporter.h"

#include "errors/outcome_events.h"

namespace halvern {

std::uint32_t TelemetryOutcomeReporter::ReportSuccess(EventKind event_kind, bool machine_wide,
                                                      const std::u16string& app_name,
                                                      const std::u16string& package_family_name,
                                                      const std::u16string& version) {
    return halvern::ReportSuccess(platform_, event_kind, machine_wide, app_name, package_family_name,
                                  version);
}

std::uint32_t TelemetryOutcomeReporter::ReportMSIXFailure(EventKind event_kind, bool machine_wide,
                                                          const std::u16string& app_name,
                                                          const std::u16string& package_family_name,
                                                          const std::u16string& version,
                                                          const MSIXException& error) {
    return halvern::ReportMSIXFailure(platform_, event_kind, machine_wide, app_name, package_family_name,
                                      version, error);
}

std::uint32_t TelemetryOutcomeReporter::ReportHresultFailure(EventKind event_kind, bool machine_wide,
                                                             const std::u16string& app_name,
                                                             const std::u16string& package_family_name,
                                                             const std::u16string& version,
                                                             const projection::hresult_error& error) {
    return halvern::ReportHresultFailure(platform_, event_kind, machine_wide, app_name, package_family_name,
                                         version, error);
}

std::uint32_t TelemetryOutcomeReporter::ReportStdFailure(EventKind event_kind, bool machine_wide,
                                                         const std::u16string& app_name,
                                                         const std::u16string& package_family_name,
                                                         const std::u16string& version,
                                                         const std::exception& error) {
    return halvern::ReportStdFailure(platform_, event_kind, machine_wide, app_name, package_family_name,
                                     version, error);
}

}  // namespace halvern
