#include "preview/preview_output.h"

#include "common/switches.h"
#include "preview/cleanup_planning.h"
#include "preview/plan_json.h"
#include "preview/plan_report.h"

namespace halvern {

std::string PreviewOutput(CommandLineApi& command_line, RegistryReadApi& registry,
                          PackageManagerReadApi& packages) {
    const SwitchMap switches = ParseSwitches(command_line, command_line.GetCommandLineW());
    const CleanupPlan plan = PlanCleanup(registry, packages, RunScope(switches));
    // "/Json" exactly, with no value; like every switch, the first occurrence counts.
    const auto json = switches.find(u"Json");
    return json != switches.end() && json->second.empty() ? PlanJson(plan) : PlanReport(plan);
}

}  // namespace halvern
