#pragma once
// The package manager's searches over the Windows Runtime class Windows.Management.Deployment.PackageManager.
// Every search activates its own package manager through the factory cached for the life of this object (an
// entry point keeps one for the process).

#include "platform/abi/deployment.h"
#include "platform/package_manager_api.h"
#include "platform/projection/activation_factory_cache.h"
#include "platform/projection/hresult_messages.h"
#include "platform/system_messages_api.h"
#include "platform/win32/win32_restricted_error.h"
#include "platform/win32/win32_runtime_activation.h"

namespace halvern {

class WinRtPackageQueries : public virtual PackageManagerReadApi {
  public:
    explicit WinRtPackageQueries(SystemMessagesApi& system_messages)
        : messages_(restricted_errors_, system_messages) {}

    std::vector<PackageFacts> FindPackagesByPackageFamilyName(const std::u16string& family_name) override;
    std::vector<PackageFacts> FindPackagesByUserSecurityIdPackageFamilyName(
        const std::u16string& user_security_id, const std::u16string& family_name) override;
    std::vector<std::unique_ptr<PackageUserInformation>> FindUsers(
        const std::u16string& package_full_name) override;

    // A fresh IPackageManager: the factory's ActivateInstance, queried for IPackageManager.
    projection::com_ptr<abi::IPackageManager> CreatePackageManager();

  protected:
    const HresultMessages& messages() const { return messages_; }

  private:
    Win32RestrictedError restricted_errors_;
    HresultMessages messages_;
    Win32RuntimeActivation activation_;
    ActivationFactoryCache factories_{activation_, abi::kPackageManagerClass};
};

}  // namespace halvern
