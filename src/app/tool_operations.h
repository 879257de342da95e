#pragma once
// The production wiring of discovery and the two cleanup operations onto the platform.

#include "app/cleanup_pass.h"
#include "errors/telemetry_outcome_reporter.h"
#include "packages/cleanup_services.h"

namespace halvern {

class ToolOperations final : public CleanupOperations {
  public:
    explicit ToolOperations(Platform& platform)
        : platform_(platform),
          reporter_(platform),
          services_{platform.packages, platform.registry, platform.messages, reporter_} {}
    ToolOperations(const ToolOperations&) = delete;
    ToolOperations& operator=(const ToolOperations&) = delete;

    std::vector<InstallationRecord> DiscoverInstallations(bool machine_wide) override;
    bool CleanUpPerUser(const InstallationRecord& record) override;
    bool CleanUpMachineWide(const InstallationRecord& record) override;

  private:
    Platform& platform_;
    TelemetryOutcomeReporter reporter_;  // Every outcome becomes one telemetry event.
    CleanupServices services_;
};

}  // namespace halvern
