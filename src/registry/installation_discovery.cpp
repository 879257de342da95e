#include "registry/installation_discovery.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "registry/registry_keys.h"
#include "registry/registry_values.h"
#include "registry/updater_keys.h"

namespace halvern {
namespace {

// Key names are at most 255 characters, so this always holds one with its NUL.
constexpr std::uint32_t kNameBufferLength = 256;

}  // namespace

AppIdList ListAppIds(RegistryReadApi& registry, Scope machine_wide) {
    AppIdList list;
    const OpenedKey clients = OpenKeyForReadingA(registry, machine_wide, kClientsKeyPath);
    if (clients.status != kErrorSuccess) {
        return list;
    }
    std::uint32_t count = 0;
    LStatus last_status = registry.RegQueryInfoKeyW(clients.key.get(), &count);
    if (last_status != kErrorSuccess) {
        count = 0;
    }
    std::array<char16_t, kNameBufferLength> name{};
    for (std::uint32_t index = 0; index < count; ++index) {
        std::uint32_t length = kNameBufferLength;
        last_status = registry.RegEnumKeyExW(clients.key.get(), index, name.data(), &length);
        if (last_status != kErrorSuccess) {
            continue;
        }
        // Up to the NUL, and never past the buffer whatever length came back.
        const std::u16string_view text(name.data(), std::min(length, kNameBufferLength));
        list.app_ids.emplace_back(text.substr(0, text.find(u'\0')));
    }
    list.ok = last_status == kErrorSuccess;
    return list;
}

InstallationRecord ReadInstallation(RegistryReadApi& registry, Scope machine_wide,
                                    const std::u16string& app_id) {
    const std::u16string key_path = WidenedClientsKeyPath() + app_id;
    InstallationRecord record{app_id, {}, {}, {}};
    record.name = ReadRegistryString(registry, machine_wide, key_path, u"name").value_or(u"");
    record.version = ReadRegistryString(registry, machine_wide, key_path, u"pv").value_or(u"");
    record.package_family_name =
        ReadRegistryString(registry, machine_wide, key_path, u"PackageFamilyName").value_or(u"");
    return record;
}

std::vector<InstallationRecord> DiscoverInstallations(RegistryReadApi& registry, Scope machine_wide) {
    const AppIdList list = ListAppIds(registry, machine_wide);
    std::vector<InstallationRecord> records;
    // The last call alone judges the enumeration, and a failure there drops every name read before it, as
    // the tool has always done. It is where a Clients key that lost a subkey while being listed fails (no
    // more items): the run then touches nothing rather than work from a list it knows to be out of date.
    if (!list.ok) {
        return records;
    }
    records.reserve(list.app_ids.size());
    for (const std::u16string& app_id : list.app_ids) {
        records.push_back(ReadInstallation(registry, machine_wide, app_id));
    }
    return records;
}

}  // namespace halvern
