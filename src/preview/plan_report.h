#pragma once
// The plan as a readable report in UTF-8: a heading with the mode, then one block per registration with
// its decision and reason, and each package's decision, reason and users.

#include <string>

#include "preview/cleanup_plan.h"

namespace halvern {

std::string PlanReport(const CleanupPlan& plan);

}  // namespace halvern
