#include "platform/win32/winrt_package_manager.h"

#include "errors/msix_exception.h"
#include "platform/win32/deployment_wait.h"
#include "platform/win32/runtime_string.h"

namespace halvern {

void WinRtPackageManager::RemovePackageForAllUsers(const std::u16string& package_full_name) {
    const auto manager = CreatePackageManager().as<abi::IPackageManager2>(messages());
    const StringReference full_name(package_full_name, messages());
    projection::com_ptr<abi::IDeploymentOperation> operation;
    projection::check_object(
        manager->lpVtbl->RemovePackageWithOptionsAsync(manager.get(), full_name.get(),
                                                       abi::RemovalOptionsRemoveForAllUsers, operation.put()),
        operation, messages());
    CheckDeploymentResult(WaitForDeployment(operation, messages()), MSIXErrorCode::PackageRemoveFailure,
                          messages());
}

void WinRtPackageManager::DeprovisionForAllUsers(const std::u16string& package_family_name) {
    const auto manager = CreatePackageManager().as<abi::IPackageManager8>(messages());
    const StringReference family(package_family_name, messages());
    projection::com_ptr<abi::IDeploymentOperation> operation;
    projection::check_object(
        manager->lpVtbl->DeprovisionPackageForAllUsersAsync(manager.get(), family.get(), operation.put()),
        operation, messages());
    CheckDeploymentResult(WaitForDeployment(operation, messages()), MSIXErrorCode::PackageDeprovisionFailure,
                          messages());
}

}  // namespace halvern
