#include "preview/plan_report.h"

#include "preview/escaped_utf8.h"

namespace halvern {
namespace {

// Without the line break that system texts end in, which would show as escapes.
std::string Text(std::u16string_view text) {
    return EscapedUtf8(text.substr(0, text.find_last_not_of(u"\r\n ") + 1), false);
}

void AppendUsers(std::string& report, const std::vector<PlannedUser>& users) {
    for (std::size_t index = 0; index < users.size(); ++index) {
        const auto name = InstallStateName(users[index].install_state);
        Append(report, index == 0 ? "    users: " : ", ", Text(users[index].security_id), " ",
               name ? Text(*name) : std::to_string(static_cast<std::int32_t>(users[index].install_state)));
    }
    report += users.empty() ? "" : "\n";
}

}  // namespace

std::string PlanReport(const CleanupPlan& plan) {
    std::string report;
    Append(report,
           plan.machine_wide == Scope::Machine ? "Machine-wide run (HKEY_LOCAL_MACHINE): "
                                               : "Per-user run (HKEY_CURRENT_USER): ",
           std::to_string(plan.registrations.size()), " registration(s). Nothing has been changed.\n");
    for (const PlannedRegistration& planned : plan.registrations) {
        const InstallationRecord& record = planned.record;
        Append(report, "\n", Text(record.app_id), " \"", Text(record.name), "\" version \"",
               Text(record.version), "\" family \"", Text(record.package_family_name), "\"\n  ",
               Text(DecisionName(planned.decision)), ": ", Text(planned.reason), "\n");
        for (const PlannedPackage& package : planned.packages) {
            Append(report, "  package ", Text(package.full_name),
                   package.external_location ? " (external location)\n    " : "\n    ",
                   Text(DecisionName(package.decision)), ": ", Text(package.reason), "\n");
            AppendUsers(report, package.users);
        }
    }
    return report;
}

}  // namespace halvern
