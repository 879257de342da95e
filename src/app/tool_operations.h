#pragma once
// The production wiring of discovery and the two cleanup operations onto the platform.

#include "app/cleanup_pass.h"

namespace halvern {

class ToolOperations final : public CleanupOperations {
  public:
    explicit ToolOperations(Platform& platform) : platform_(platform) {}

    std::vector<InstallationRecord> DiscoverInstallations(bool machine_wide) override;
    bool CleanUpPerUser(const InstallationRecord& record) override;
    bool CleanUpMachineWide(const InstallationRecord& record) override;

  private:
    [[maybe_unused]] Platform& platform_;
};

}  // namespace halvern
