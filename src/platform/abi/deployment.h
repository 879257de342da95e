#pragma once
// Windows.Management.Deployment at the binary level: PackageManager (IPackageManager, 2 and 8),
// PackageUserInformation, DeploymentResult and the deployment operation.

#include <cstdint>

#include "platform/abi/application_model.h"
#include "platform/abi/foundation.h"

namespace halvern::abi {

inline constexpr char16_t kPackageManagerClass[] = u"Windows.Management.Deployment.PackageManager";

// RemovalOptions: the one flag the tool passes.
enum RemovalOptions : std::uint32_t {
    RemovalOptionsRemoveForAllUsers = 0x80000,
};

struct DeploymentProgress {
    std::int32_t state;  // Queued 0, Processing 1
    std::uint32_t percentage;
};
static_assert(sizeof(DeploymentProgress) == 8);

struct IDeploymentResult;

struct IDeploymentResultVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_ErrorText)(IDeploymentResult* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_ActivityId)(IDeploymentResult* self, guid* value);
    hresult(HALVERN_ABI_CALL* get_ExtendedErrorCode)(IDeploymentResult* self, hresult* value);
};
struct IDeploymentResult {
    const IDeploymentResultVtbl* lpVtbl;
};
HALVERN_ABI_IID(IDeploymentResult, "2563b9ae-b77d-4c1f-8a7b-20e6ad515ef3");

struct IPackageUserInformation;

struct IPackageUserInformationVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_UserSecurityId)(IPackageUserInformation* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_InstallState)(IPackageUserInformation* self, std::int32_t* value);
};
struct IPackageUserInformation {
    const IPackageUserInformationVtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackageUserInformation, "f6383423-fa09-4cbc-9055-15ca275e2e7e");

HALVERN_ABI_IID(IIterable<IPackageUserInformation>, "341348b9-52c8-5b57-9e91-f19f2a05b188");
HALVERN_ABI_IID(IIterator<IPackageUserInformation>, "75660566-ae43-5858-ada6-d57ddae90277");

// IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>.
struct IDeploymentOperation;
// AsyncOperationWithProgressCompletedHandler<DeploymentResult, DeploymentProgress>: a delegate, so
// it derives from IUnknown and Invoke is slot 3.
struct IDeploymentCompletedHandler;

struct IDeploymentCompletedHandlerVtbl {
    IUnknownVtbl unknown;
    hresult(HALVERN_ABI_CALL* Invoke)(IDeploymentCompletedHandler* self, IDeploymentOperation* operation,
                                      AsyncStatus status);
};
struct IDeploymentCompletedHandler {
    const IDeploymentCompletedHandlerVtbl* lpVtbl;
};
HALVERN_ABI_IID(IDeploymentCompletedHandler, "6e1c7129-61e0-5d88-9fd4-f3ce65a05719");

// AsyncOperationProgressHandler<DeploymentResult, DeploymentProgress>: never set by the tool.
struct IDeploymentProgressHandler {
    const IUnknownVtbl* lpVtbl;
};
HALVERN_ABI_IID(IDeploymentProgressHandler, "f1b926d1-1796-597a-9bea-6c6449d03eef");

struct IDeploymentOperationVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* put_Progress)(IDeploymentOperation* self, IDeploymentProgressHandler* handler);
    hresult(HALVERN_ABI_CALL* get_Progress)(IDeploymentOperation* self, IDeploymentProgressHandler** handler);
    hresult(HALVERN_ABI_CALL* put_Completed)(IDeploymentOperation* self,
                                             IDeploymentCompletedHandler* handler);
    hresult(HALVERN_ABI_CALL* get_Completed)(IDeploymentOperation* self,
                                             IDeploymentCompletedHandler** handler);
    hresult(HALVERN_ABI_CALL* GetResults)(IDeploymentOperation* self, IDeploymentResult** result);
};
struct IDeploymentOperation {
    const IDeploymentOperationVtbl* lpVtbl;
};
HALVERN_ABI_IID(IDeploymentOperation, "5a97aab7-b6ea-55ac-a5dc-d5b164d94e94");

struct IPackageManager;

struct IPackageManagerVtbl {
    IInspectableVtbl inspectable;
    UnusedMethod AddPackageAsync;
    UnusedMethod UpdatePackageAsync;
    UnusedMethod RemovePackageAsync;
    UnusedMethod StagePackageAsync;
    UnusedMethod RegisterPackageAsync;
    UnusedMethod FindPackages;
    UnusedMethod FindPackagesByUserSecurityId;
    UnusedMethod FindPackagesByNamePublisher;
    UnusedMethod FindPackagesByUserSecurityIdNamePublisher;
    hresult(HALVERN_ABI_CALL* FindUsers)(IPackageManager* self, hstring package_full_name,
                                         IIterable<IPackageUserInformation>** users);
    UnusedMethod SetPackageState;
    UnusedMethod FindPackageByPackageFullName;
    UnusedMethod CleanupPackageForUserAsync;
    hresult(HALVERN_ABI_CALL* FindPackagesByPackageFamilyName)(IPackageManager* self, hstring family_name,
                                                               IIterable<IPackage>** packages);
    hresult(HALVERN_ABI_CALL* FindPackagesByUserSecurityIdPackageFamilyName)(IPackageManager* self,
                                                                             hstring user_security_id,
                                                                             hstring family_name,
                                                                             IIterable<IPackage>** packages);
    UnusedMethod FindPackageByUserSecurityIdPackageFullName;
};
struct IPackageManager {
    const IPackageManagerVtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackageManager, "9a7d4b65-5e8f-4fc7-a2e5-7f6925cb8b53");

struct IPackageManager2;

struct IPackageManager2Vtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* RemovePackageWithOptionsAsync)(IPackageManager2* self,
                                                             hstring package_full_name,
                                                             std::uint32_t removal_options,
                                                             IDeploymentOperation** operation);
    UnusedMethod StagePackageWithOptionsAsync;
    UnusedMethod RegisterPackageByFullNameAsync;
    UnusedMethod FindPackagesWithPackageTypes;
    UnusedMethod FindPackagesByUserSecurityIdWithPackageTypes;
    UnusedMethod FindPackagesByNamePublisherWithPackageTypes;
    UnusedMethod FindPackagesByUserSecurityIdNamePublisherWithPackageTypes;
    UnusedMethod FindPackagesByPackageFamilyNameWithPackageTypes;
    UnusedMethod FindPackagesByUserSecurityIdPackageFamilyNameWithPackageTypes;
    UnusedMethod StageUserDataAsync;
};
struct IPackageManager2 {
    const IPackageManager2Vtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackageManager2, "f7aad08d-0840-46f2-b5d8-cad47693a095");

struct IPackageManager8;

// Windows 10 1809 and later.
struct IPackageManager8Vtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* DeprovisionPackageForAllUsersAsync)(IPackageManager8* self, hstring family_name,
                                                                  IDeploymentOperation** operation);
};
struct IPackageManager8 {
    const IPackageManager8Vtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackageManager8, "b8575330-1298-4ee2-80ee-7f659c5d2782");

}  // namespace halvern::abi
