// The slot of every method the tool calls, where the platform has it: a wrong slot compiles, works
// against the test package manager (built from the same declarations) and crashes on Windows. The
// interface ids are checked by test_abi_ids.py; here, the slots and the reading of an id.
#include <cstddef>

#include "platform/abi/deployment.h"

namespace halvern::abi {

#define HALVERN_SLOT(Vtbl, Method, slot) static_assert(offsetof(Vtbl, Method) == (slot) * sizeof(void*))

HALVERN_SLOT(IUnknownVtbl, QueryInterface, 0);
HALVERN_SLOT(IUnknownVtbl, Release, 2);
HALVERN_SLOT(IInspectableVtbl, GetIids, 3);
HALVERN_SLOT(IInspectableVtbl, GetTrustLevel, 5);
HALVERN_SLOT(IActivationFactoryVtbl, ActivateInstance, 6);
HALVERN_SLOT(IPackageManagerVtbl, AddPackageAsync, 6);
HALVERN_SLOT(IPackageManagerVtbl, FindUsers, 15);
HALVERN_SLOT(IPackageManagerVtbl, FindPackagesByPackageFamilyName, 19);
HALVERN_SLOT(IPackageManagerVtbl, FindPackagesByUserSecurityIdPackageFamilyName, 20);
HALVERN_SLOT(IPackageManagerVtbl, FindPackageByUserSecurityIdPackageFullName, 21);
HALVERN_SLOT(IPackageManager2Vtbl, RemovePackageWithOptionsAsync, 6);
HALVERN_SLOT(IPackageManager2Vtbl, StageUserDataAsync, 15);
HALVERN_SLOT(IPackageManager8Vtbl, DeprovisionPackageForAllUsersAsync, 6);
HALVERN_SLOT(IDeploymentResultVtbl, get_ErrorText, 6);
HALVERN_SLOT(IDeploymentResultVtbl, get_ExtendedErrorCode, 8);
HALVERN_SLOT(IPackageUserInformationVtbl, get_InstallState, 7);
HALVERN_SLOT(IPackageVtbl, get_Id, 6);
HALVERN_SLOT(IPackage2Vtbl, get_DisplayName, 6);
HALVERN_SLOT(IPackage8Vtbl, get_InstalledPath, 9);
HALVERN_SLOT(IPackage8Vtbl, get_EffectiveExternalPath, 12);
HALVERN_SLOT(IPackageIdVtbl, get_Name, 6);
HALVERN_SLOT(IPackageIdVtbl, get_Version, 7);
HALVERN_SLOT(IPackageIdVtbl, get_FullName, 12);
HALVERN_SLOT(IPackageIdVtbl, get_FamilyName, 13);
HALVERN_SLOT(IAsyncInfoVtbl, get_Status, 7);
HALVERN_SLOT(IDeploymentOperationVtbl, put_Completed, 8);
HALVERN_SLOT(IDeploymentOperationVtbl, GetResults, 10);
HALVERN_SLOT(IDeploymentCompletedHandlerVtbl, Invoke, 3);
HALVERN_SLOT(IIterableVtbl<IPackage>, First, 6);
HALVERN_SLOT(IIteratorVtbl<IPackage>, get_Current, 6);
HALVERN_SLOT(IIteratorVtbl<IPackage>, get_HasCurrent, 7);
HALVERN_SLOT(IIteratorVtbl<IPackage>, MoveNext, 8);
HALVERN_SLOT(IRestrictedErrorInfoVtbl, GetErrorDetails, 3);
static_assert(sizeof(IPackageManagerVtbl) == 22 * sizeof(void*) &&
              sizeof(IPackageManager2Vtbl) == 16 * sizeof(void*));
static_assert(sizeof(IPackage8Vtbl) == 18 * sizeof(void*));
static_assert(sizeof(boolean) == 1 && sizeof(AsyncStatus) == 4 && sizeof(RemovalOptions) == 4);
static_assert(RemovalOptionsRemoveForAllUsers == 0x80000 && AsyncStatusStarted == 0);
// The ids are written as text (checked by test_abi_ids.py) and read into the platform's GUID layout here.
static_assert(make_guid("00112233-4455-6677-8899-aAbBcCdDeEfF") ==
              guid{0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}});

}  // namespace halvern::abi
