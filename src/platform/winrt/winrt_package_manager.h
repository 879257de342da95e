#pragma once
// The package manager over the Windows Runtime: its searches, and removal and deprovisioning for all users,
// each awaited and its result read.

#include "platform/package_manager_api.h"
#include "platform/winrt/winrt_package_queries.h"

namespace halvern {

class WinRtPackageManager final : public PackageManagerApi, public WinRtPackageQueries {
  public:
    explicit WinRtPackageManager(SystemMessagesApi& system_messages) : WinRtPackageQueries(system_messages) {}

    std::optional<DeploymentError> RemovePackageWithOptions(const std::u16string& package_full_name,
                                                            std::uint32_t removal_options) override;
    std::optional<DeploymentError> DeprovisionPackageForAllUsers(
        const std::u16string& package_family_name) override;
};

}  // namespace halvern
