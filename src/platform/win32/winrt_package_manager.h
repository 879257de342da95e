#pragma once
// The package manager bridge over the Windows Runtime: the questions, and removal and deprovisioning
// for all users, each awaited.

#include "packages/package_manager_bridge.h"
#include "platform/win32/winrt_package_queries.h"

namespace halvern {

class WinRtPackageManager final : public PackageManagerBridge, public WinRtPackageQueries {
  public:
    explicit WinRtPackageManager(SystemMessagesApi& system_messages) : WinRtPackageQueries(system_messages) {}

    void RemovePackageForAllUsers(const std::u16string& package_full_name) override;
    void DeprovisionForAllUsers(const std::u16string& package_family_name) override;
};

}  // namespace halvern
