#pragma once
// The single cleanup pass: start line, mode, discovery, one cleanup per installation, finish line.

#include <vector>

#include "platform/platform.h"
#include "registry/installation_record.h"

namespace halvern {

// Discovery and the two cleanup operations, as the pass sees them.
class CleanupOperations {
  public:
    virtual ~CleanupOperations() = default;
    virtual std::vector<InstallationRecord> DiscoverInstallations(bool machine_wide) = 0;
    virtual bool CleanUpPerUser(const InstallationRecord& record) = 0;
    virtual bool CleanUpMachineWide(const InstallationRecord& record) = 0;
};

// Runs the whole pass and returns the process exit code, which is always 0.
int RunCleanupPass(Platform& platform, CleanupOperations& operations);

}  // namespace halvern
