#pragma once
// What the two cleanup drivers work with.

#include "errors/outcome_reporter.h"
#include "packages/package_manager_bridge.h"
#include "platform/registry_api.h"
#include "platform/system_messages_api.h"

namespace halvern {

struct CleanupServices {
    PackageManagerBridge& packages;
    RegistryApi& registry;
    SystemMessagesApi& messages;
    OutcomeReporter& reporter;
};

}  // namespace halvern
