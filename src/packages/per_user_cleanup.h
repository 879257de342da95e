#pragma once
// Per-user cleanup: deletes the current user's registration once no package of its family is left
// for that user. Never removes a package.

#include "platform/platform.h"
#include "registry/installation_record.h"

namespace halvern {

// True when the registration was deleted and the success reported. Failures of the search and of the
// unregistration are reported here; a failure of the success report itself propagates.
bool CleanUpPerUser(Platform& platform, const InstallationRecord& record);

}  // namespace halvern
