#include "platform/winrt/package_snapshot.h"

#include "platform/winrt/runtime_string.h"

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

PackageFacts ReadPackageFacts(const projection::com_ptr<abi::IPackage>& package,
                              const HresultMessages& messages) {
    PackageFacts facts;
    projection::com_ptr<abi::IPackageId> id;
    projection::check_object(package->lpVtbl->get_Id(package.get(), id.put()), id, messages);
    facts.name = ReadText(id, id->lpVtbl->get_Name, messages);

    const auto package2 = package.as<abi::IPackage2>(messages);
    facts.display_name = ReadText(package2, package2->lpVtbl->get_DisplayName, messages);

    facts.full_name = ReadText(id, id->lpVtbl->get_FullName, messages);
    facts.family_name = ReadText(id, id->lpVtbl->get_FamilyName, messages);

    abi::PackageVersion version{};
    projection::check_hresult(id->lpVtbl->get_Version(id.get(), &version), messages);
    facts.version = {version.Major, version.Minor, version.Build, version.Revision};

    projection::com_ptr<abi::IPackage8> package8;
    const projection::hresult queried = package.query(package8);
    if (queried == projection::hresults::kNoInterface) {
        return facts;
    }
    projection::check_object(queried, package8, messages);
    facts.has_package8 = true;
    facts.installed_path = ReadText(package8, package8->lpVtbl->get_InstalledPath, messages);

    // Queried once more for the second property: the sequence of calls the tool has always made.
    const auto external = package.as<abi::IPackage8>(messages);
    facts.effective_external_path = ReadText(external, external->lpVtbl->get_EffectiveExternalPath, messages);
    return facts;
}

}  // namespace halvern
