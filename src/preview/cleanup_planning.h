#pragma once
// The plan of a cleanup run, made from the same registrations and the same questions to the package
// manager as the run, with the run's own decisions (packages/cleanup_decisions.h). It only reads:
// nothing is removed, deprovisioned, deleted, reported or logged.

#include "common/scope.h"
#include "platform/package_manager_api.h"
#include "platform/registry_api.h"
#include "preview/cleanup_plan.h"

namespace halvern {

// A failing question makes its registration, and the package it was about, "unknown" with the failure
// as the run would report it. Raises only std::bad_alloc, from discovery.
CleanupPlan PlanCleanup(RegistryReadApi& registry, PackageManagerReadApi& packages, Scope machine_wide);

}  // namespace halvern
