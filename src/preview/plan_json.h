#pragma once
// The plan as one JSON document in UTF-8, without a byte-order mark, on one line with a line feed after:
// {"mode": "machine"|"user", "registrations": [{"app_id", "name", "version", "package_family_name",
// "decision", "reason", "packages": [{"full_name", "external_location", "users": [{"sid", "state"}],
// "decision", "reason"}]}]}. A state Windows does not name is a number.

#include <string>

#include "preview/cleanup_plan.h"

namespace halvern {

std::string PlanJson(const CleanupPlan& plan);

}  // namespace halvern
