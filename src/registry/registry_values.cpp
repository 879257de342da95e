#include "registry/registry_values.h"

#include <algorithm>
#include <string_view>

#include "registry/registry_keys.h"
#include "registry/updater_keys.h"

namespace halvern {
std::optional<std::u16string> ReadRegistryString(RegistryReadApi& registry, Scope machine_wide,
                                                 const std::u16string& key_path,
                                                 const std::u16string& value_name) {
    const OpenedKey opened = OpenKeyForReading(registry, machine_wide, key_path);
    if (opened.status != kErrorSuccess) {
        return std::nullopt;
    }
    std::uint32_t bytes = 0;
    if (registry.RegGetValueW(opened.key.get(), nullptr, value_name.c_str(), kRrfRtRegSz, nullptr, nullptr,
                              &bytes) != kErrorSuccess) {
        return std::nullopt;
    }
    // As many characters as the value has bytes: twice the room it needs. Only `bytes` is offered.
    std::u16string buffer(bytes, u'\0');
    std::uint32_t written = bytes;
    if (registry.RegGetValueW(opened.key.get(), nullptr, value_name.c_str(), kRrfRtRegSz, nullptr,
                              buffer.data(), &written) != kErrorSuccess) {
        return std::nullopt;
    }
    // Never look past what was written, nor past the buffer, even if no NUL came back.
    const std::size_t length = std::min<std::size_t>(written / sizeof(char16_t), buffer.size());
    const std::u16string_view text(buffer.data(), length);
    return std::u16string(text.substr(0, text.find(u'\0')));
}

std::optional<std::uint32_t> ReadRegistryDword(RegistryReadApi& registry, Scope machine_wide,
                                               const std::u16string& key_path,
                                               const std::u16string& value_name) {
    const OpenedKey opened = OpenKeyForReading(registry, machine_wide, key_path);
    if (opened.status != kErrorSuccess) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::uint32_t bytes = sizeof(value);
    if (registry.RegGetValueW(opened.key.get(), nullptr, value_name.c_str(), kRrfRtDword, nullptr, &value,
                              &bytes) != kErrorSuccess) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::u16string> ReadUpdaterUserId(RegistryReadApi& registry, Scope machine_wide) {
    return ReadRegistryString(registry, machine_wide, kUpdaterKeyPath, u"uid");
}

}  // namespace halvern
