#include "packages/package_deployments.h"

#include "errors/msix_exception.h"
#include "platform/text_before_nul.h"

namespace halvern {
namespace {

void CheckDeployment(const std::optional<DeploymentError>& failed, MSIXErrorCode code) {
    if (failed) {
        throw MSIXException(TextBeforeNul(failed->error_text), code, failed->extended_error_code);
    }
}

}  // namespace

void RemovePackageForAllUsers(PackageManagerApi& packages, const std::u16string& package_full_name) {
    CheckDeployment(packages.RemovePackageWithOptions(package_full_name, kRemoveForAllUsers),
                    MSIXErrorCode::PackageRemoveFailure);
}

void DeprovisionForAllUsers(PackageManagerApi& packages, const std::u16string& package_family_name) {
    CheckDeployment(packages.DeprovisionPackageForAllUsers(package_family_name),
                    MSIXErrorCode::PackageDeprovisionFailure);
}

}  // namespace halvern
