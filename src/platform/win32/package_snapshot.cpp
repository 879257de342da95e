#include "platform/win32/package_snapshot.h"

#include "packages/package_version_text.h"
#include "platform/win32/runtime_string.h"

namespace halvern {
namespace {

template <typename Interface, typename Getter>
std::u16string ReadText(const projection::com_ptr<Interface>& object, Getter getter,
                        const HresultMessages& messages) {
    UniqueHString text;
    projection::check_hresult(getter(object.get(), text.put()), messages);
    return RuntimeText(text.get());
}

}  // namespace

PackageInfo SnapshotPackage(const projection::com_ptr<abi::IPackage>& package,
                            const HresultMessages& messages) {
    PackageInfo info;
    projection::com_ptr<abi::IPackageId> id;
    projection::check_object(package->lpVtbl->get_Id(package.get(), id.put()), id, messages);
    info.package_name = ReadText(id, id->lpVtbl->get_Name, messages);

    const auto package2 = package.as<abi::IPackage2>(messages);
    info.display_name = ReadText(package2, package2->lpVtbl->get_DisplayName, messages);

    info.full_name = ReadText(id, id->lpVtbl->get_FullName, messages);
    info.family_name = ReadText(id, id->lpVtbl->get_FamilyName, messages);

    abi::PackageVersion version{};
    projection::check_hresult(id->lpVtbl->get_Version(id.get(), &version), messages);
    PackageVersionText texts =
        FormatPackageVersion(version.Major, version.Minor, version.Build, version.Revision);
    info.version = std::move(texts.version);
    info.full_version = std::move(texts.full_version);

    // Windows 10 before version 2004 has no IPackage8, and no external locations either: such a
    // package keeps an empty path and no external location. Any other failure of the query raises.
    projection::com_ptr<abi::IPackage8> package8;
    const projection::hresult queried = package.query(package8);
    if (queried == projection::hresults::kNoInterface) {
        return info;
    }
    projection::check_object(queried, package8, messages);
    info.installed_path = ReadText(package8, package8->lpVtbl->get_InstalledPath, messages);

    // Queried afresh, as the platform sees two separate property reads.
    const auto external = package.as<abi::IPackage8>(messages);
    info.has_external_location =
        !ReadText(external, external->lpVtbl->get_EffectiveExternalPath, messages).empty();
    return info;
}

}  // namespace halvern
