#pragma once
// Seam for the Windows package manager (Windows.Management.Deployment.PackageManager): its searches and
// its two deployments, answered with what the platform says. Each call activates a package manager of its
// own. A failing platform call raises the projection's hresult_error (or its kind for the HRESULT), and
// E_OUTOFMEMORY std::bad_alloc; what a failure means to the tool is decided above. Reading is a face of its
// own, so that a program that only reads cannot remove.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvern {

// A PackageInstallState. The platform may report a state this list does not name; it is kept as its number.
enum class PackageInstallState : std::int32_t {
    NotInstalled = 0,
    Staged = 1,
    Installed = 2,
    Paused = 6,
};

struct PackageVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
};

// What one Package says of itself: the names and version of its Id, its display name, and IPackage8's paths.
struct PackageFacts {
    std::u16string name;
    std::u16string display_name;
    std::u16string full_name;
    std::u16string family_name;
    PackageVersion version;
    bool has_package8 = false;  // Windows 10 before 2004 has no IPackage8: then neither path is read
    std::u16string installed_path;
    std::u16string effective_external_path;
};

// One PackageUserInformation. Each property is read from the platform when asked for.
class PackageUserInformation {
  public:
    virtual ~PackageUserInformation() = default;
    virtual std::u16string UserSecurityId() const = 0;
    virtual PackageInstallState InstallState() const = 0;
};

// A finished deployment whose DeploymentResult has a non-zero ExtendedErrorCode.
struct DeploymentError {
    std::u16string error_text;         // ErrorText, whole
    std::int32_t extended_error_code;  // ExtendedErrorCode, read once more after the text
};

// RemovalOptions.RemoveForAllUsers.
inline constexpr std::uint32_t kRemoveForAllUsers = 0x80000;

class PackageManagerReadApi {
  public:
    virtual ~PackageManagerReadApi() = default;
    // Every package of the family, for any user, in the platform's order.
    virtual std::vector<PackageFacts> FindPackagesByPackageFamilyName(const std::u16string& family_name) = 0;
    // The packages of the family that the user has; the empty security id is the current user.
    virtual std::vector<PackageFacts> FindPackagesByUserSecurityIdPackageFamilyName(
        const std::u16string& user_security_id, const std::u16string& family_name) = 0;
    virtual std::vector<std::unique_ptr<PackageUserInformation>> FindUsers(
        const std::u16string& package_full_name) = 0;
};

// The deployments start the operation, wait for it to finish and read its result: nothing when it succeeded.
class PackageManagerApi : public virtual PackageManagerReadApi {
  public:
    virtual std::optional<DeploymentError> RemovePackageWithOptions(const std::u16string& package_full_name,
                                                                    std::uint32_t removal_options) = 0;
    virtual std::optional<DeploymentError> DeprovisionPackageForAllUsers(
        const std::u16string& package_family_name) = 0;
};

}  // namespace halvern
