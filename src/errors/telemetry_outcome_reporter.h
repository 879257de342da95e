#pragma once
// The production OutcomeReporter: every report becomes one telemetry event posted at once.

#include "errors/outcome_reporter.h"
#include "platform/platform.h"

namespace halvern {

class TelemetryOutcomeReporter final : public OutcomeReporter {
  public:
    explicit TelemetryOutcomeReporter(Platform& platform) : platform_(platform) {}

    std::uint32_t ReportSuccess(EventKind event_kind, bool machine_wide, const std::u16string& app_name,
                                const std::u16string& package_family_name,
                                const std::u16string& version) override;
    std::uint32_t ReportMSIXFailure(EventKind event_kind, bool machine_wide, const std::u16string& app_name,
                                    const std::u16string& package_family_name, const std::u16string& version,
                                    const MSIXException& error) override;
    std::uint32_t ReportHresultFailure(EventKind event_kind, bool machine_wide,
                                       const std::u16string& app_name,
                                       const std::u16string& package_family_name,
                                       const std::u16string& version,
                                       const projection::hresult_error& error) override;
    std::uint32_t ReportStdFailure(EventKind event_kind, bool machine_wide, const std::u16string& app_name,
                                   const std::u16string& package_family_name, const std::u16string& version,
                                   const std::exception& error) override;

  private:
    Platform& platform_;
};

}  // namespace halvern
