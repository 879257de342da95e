#include "platform/winrt/winrt_package_manager.h"

#include "platform/winrt/deployment_wait.h"
#include "platform/winrt/runtime_string.h"

namespace halvern {

static_assert(kRemoveForAllUsers == abi::RemovalOptionsRemoveForAllUsers);

std::optional<DeploymentError> WinRtPackageManager::RemovePackageWithOptions(
    const std::u16string& package_full_name, std::uint32_t removal_options) {
    const auto manager = CreatePackageManager().as<abi::IPackageManager2>(messages());
    const StringReference full_name(package_full_name, messages());
    projection::com_ptr<abi::IDeploymentOperation> operation;
    projection::check_object(manager->lpVtbl->RemovePackageWithOptionsAsync(manager.get(), full_name.get(),
                                                                            removal_options, operation.put()),
                             operation, messages());
    return ReadDeploymentError(WaitForDeployment(operation, messages()), messages());
}

std::optional<DeploymentError> WinRtPackageManager::DeprovisionPackageForAllUsers(
    const std::u16string& package_family_name) {
    const auto manager = CreatePackageManager().as<abi::IPackageManager8>(messages());
    const StringReference family(package_family_name, messages());
    projection::com_ptr<abi::IDeploymentOperation> operation;
    projection::check_object(
        manager->lpVtbl->DeprovisionPackageForAllUsersAsync(manager.get(), family.get(), operation.put()),
        operation, messages());
    return ReadDeploymentError(WaitForDeployment(operation, messages()), messages());
}

}  // namespace halvern
