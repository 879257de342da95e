#pragma once
// What a cleanup run would do with each registration, and why: the preview's plan.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/scope.h"
#include "platform/package_manager_api.h"
#include "registry/installation_record.h"

namespace halvern {

enum class PackageDecision { Remove, Keep, Unknown };
enum class RegistrationDecision { Skip, CleanUp, Keep, Unknown };

struct PlannedUser {
    std::u16string security_id;
    PackageInstallState install_state = PackageInstallState::NotInstalled;
};

struct PlannedPackage {
    std::u16string full_name;
    bool external_location = false;
    std::vector<PlannedUser> users;  // as asked about; empty when the run never asks
    PackageDecision decision = PackageDecision::Unknown;
    std::u16string reason;
};

struct PlannedRegistration {
    InstallationRecord record;
    RegistrationDecision decision = RegistrationDecision::Unknown;
    std::u16string reason;
    std::vector<PlannedPackage> packages;
};

struct CleanupPlan {
    Scope machine_wide = Scope::User;
    std::vector<PlannedRegistration> registrations;  // in the order the run takes them
};

inline std::u16string_view DecisionName(PackageDecision decision) {
    constexpr std::u16string_view kNames[] = {u"remove", u"keep", u"unknown"};
    return kNames[static_cast<int>(decision)];
}

inline std::u16string_view DecisionName(RegistrationDecision decision) {
    constexpr std::u16string_view kNames[] = {u"skip", u"clean-up", u"keep", u"unknown"};
    return kNames[static_cast<int>(decision)];
}

// The PackageInstallState's name; nothing for a value Windows does not define.
inline std::optional<std::u16string_view> InstallStateName(PackageInstallState install_state) {
    switch (install_state) {
        case PackageInstallState::NotInstalled:
            return u"NotInstalled";
        case PackageInstallState::Staged:
            return u"Staged";
        case PackageInstallState::Installed:
            return u"Installed";
        case PackageInstallState::Paused:
            return u"Paused";
        default:
            return std::nullopt;
    }
}

}  // namespace halvern
