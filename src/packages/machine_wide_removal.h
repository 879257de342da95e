#pragma once
// Machine-wide removal: removes every package of the family that no user holds beyond staged and
// that has no external location; once all are gone, deprovisions the family and deletes the
// machine's registration. The only place that removes packages.

#include "platform/platform.h"
#include "registry/installation_record.h"

namespace halvern {

// True when every package is gone, the family deprovisioned, the registration deleted and the
// success reported. Never raises for package-manager, registry or projection failures.
bool CleanUpMachineWide(Platform& platform, const InstallationRecord& record);

}  // namespace halvern
