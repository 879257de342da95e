#include "preview/plan_json.h"

#include "preview/escaped_utf8.h"

namespace halvern {
namespace {

template <typename Item, typename Write>
void AppendArray(std::string& json, const std::vector<Item>& items, Write write) {
    json += '[';
    for (std::size_t index = 0; index < items.size(); ++index) {
        json += index == 0 ? "" : ", ";
        write(json, items[index]);
    }
    json += ']';
}

void AppendUser(std::string& json, const PlannedUser& user) {
    const auto name = InstallStateName(user.install_state);
    Append(json, "{\"sid\": ", JsonString(user.security_id), ", \"state\": ",
           name ? JsonString(*name) : std::to_string(static_cast<std::int32_t>(user.install_state)), "}");
}

void AppendPackage(std::string& json, const PlannedPackage& package) {
    Append(json, "{\"full_name\": ", JsonString(package.full_name),
           ", \"external_location\": ", package.external_location ? "true" : "false", ", \"users\": ");
    AppendArray(json, package.users, AppendUser);
    Append(json, ", \"decision\": ", JsonString(DecisionName(package.decision)),
           ", \"reason\": ", JsonString(package.reason), "}");
}

void AppendRegistration(std::string& json, const PlannedRegistration& planned) {
    const InstallationRecord& record = planned.record;
    Append(json, "{\"app_id\": ", JsonString(record.app_id), ", \"name\": ", JsonString(record.name),
           ", \"version\": ", JsonString(record.version),
           ", \"package_family_name\": ", JsonString(record.package_family_name),
           ", \"decision\": ", JsonString(DecisionName(planned.decision)),
           ", \"reason\": ", JsonString(planned.reason), ", \"packages\": ");
    AppendArray(json, planned.packages, AppendPackage);
    json += '}';
}

}  // namespace

std::string PlanJson(const CleanupPlan& plan) {
    std::string json;
    Append(json, "{\"mode\": ", plan.machine_wide == Scope::Machine ? "\"machine\"" : "\"user\"",
           ", \"registrations\": ");
    AppendArray(json, plan.registrations, AppendRegistration);
    json += "}\n";
    return json;
}

}  // namespace halvern
