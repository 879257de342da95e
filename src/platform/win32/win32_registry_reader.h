#pragma once
// The registry's reading calls of advapi32, passed through unchanged.

#include "platform/registry_api.h"

namespace halvern {

class Win32RegistryReader : public virtual RegistryReadApi {
  public:
    LStatus RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t options,
                          std::uint32_t sam_desired, RegistryKeyHandle* result) override;
    LStatus RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key, std::uint32_t options,
                          std::uint32_t sam_desired, RegistryKeyHandle* result) override;
    LStatus RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) override;
    LStatus RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                          std::uint32_t* name_length) override;
    LStatus RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key, const char16_t* value,
                         std::uint32_t flags, std::uint32_t* type, void* data,
                         std::uint32_t* data_bytes) override;
    LStatus RegCloseKey(RegistryKeyHandle key) override;
};

}  // namespace halvern
