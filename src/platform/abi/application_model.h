#pragma once
// Windows.ApplicationModel: Package (IPackage, IPackage2, IPackage8) and PackageId, at the binary level.

#include <cstdint>

#include "platform/abi/foundation.h"

namespace halvern::abi {

struct PackageVersion {
    std::uint16_t Major;
    std::uint16_t Minor;
    std::uint16_t Build;
    std::uint16_t Revision;
};
static_assert(sizeof(PackageVersion) == 8);

struct IPackageId;

struct IPackageIdVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_Name)(IPackageId* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_Version)(IPackageId* self, PackageVersion* value);
    hresult(HALVERN_ABI_CALL* get_Architecture)(IPackageId* self, std::int32_t* value);
    hresult(HALVERN_ABI_CALL* get_ResourceId)(IPackageId* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_Publisher)(IPackageId* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_PublisherId)(IPackageId* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_FullName)(IPackageId* self, hstring* value);
    hresult(HALVERN_ABI_CALL* get_FamilyName)(IPackageId* self, hstring* value);
};
struct IPackageId {
    const IPackageIdVtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackageId, "1adb665e-37c7-4790-9980-dd7ae74e8bb2");

struct IPackage;

struct IPackageVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_Id)(IPackage* self, IPackageId** value);
    UnusedMethod get_InstalledLocation;
    hresult(HALVERN_ABI_CALL* get_IsFramework)(IPackage* self, boolean* value);
    UnusedMethod get_Dependencies;
};
struct IPackage {
    const IPackageVtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackage, "163c792f-bd75-413c-bf23-b1fe7b95d825");

struct IPackage2;

struct IPackage2Vtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_DisplayName)(IPackage2* self, hstring* value);
    UnusedMethod get_PublisherDisplayName;
    UnusedMethod get_Description;
    UnusedMethod get_Logo;
    UnusedMethod get_IsResourcePackage;
    UnusedMethod get_IsBundle;
    UnusedMethod get_IsDevelopmentMode;
};
struct IPackage2 {
    const IPackage2Vtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackage2, "a6612fb6-7688-4ace-95fb-359538e7aa01");

struct IPackage8;

// Missing on Windows builds before contract 10.
struct IPackage8Vtbl {
    IInspectableVtbl inspectable;
    UnusedMethod get_EffectiveExternalLocation;
    UnusedMethod get_MachineExternalLocation;
    UnusedMethod get_UserExternalLocation;
    hresult(HALVERN_ABI_CALL* get_InstalledPath)(IPackage8* self, hstring* value);
    UnusedMethod get_MutablePath;
    UnusedMethod get_EffectivePath;
    hresult(HALVERN_ABI_CALL* get_EffectiveExternalPath)(IPackage8* self, hstring* value);
    UnusedMethod get_MachineExternalPath;
    UnusedMethod get_UserExternalPath;
    UnusedMethod GetLogoAsRandomAccessStreamReference;
    UnusedMethod GetAppListEntries;
    UnusedMethod get_IsStub;
};
struct IPackage8 {
    const IPackage8Vtbl* lpVtbl;
};
HALVERN_ABI_IID(IPackage8, "2c584f7b-ce2a-4be6-a093-77cfbb2a7ea1");

HALVERN_ABI_IID(IIterable<IPackage>, "69ad6aa7-0c49-5f27-a5eb-ef4d59467b6d");
HALVERN_ABI_IID(IIterator<IPackage>, "0217f069-025c-5ee6-a87f-e782e3b623ae");

}  // namespace halvern::abi
