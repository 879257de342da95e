#pragma once
// What the two cleanup drivers work with.

#include "errors/outcome_reporter.h"
#include "platform/package_manager_api.h"
#include "platform/registry_api.h"
#include "platform/system_messages_api.h"

namespace halvern {

struct CleanupServices {
    PackageManagerApi& packages;
    RegistryApi& registry;
    SystemMessagesApi& messages;
    OutcomeReporter& reporter;
};

}  // namespace halvern
