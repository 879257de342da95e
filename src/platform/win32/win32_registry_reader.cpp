#include "platform/win32/win32_registry_reader.h"

#include <windows.h>

#include "platform/win32/dword_pointer.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace halvern {
namespace {

static_assert(sizeof(LSTATUS) == sizeof(LStatus));
static_assert(sizeof(HKEY) == sizeof(RegistryKeyHandle));

HKEY ToHkey(RegistryKeyHandle key) {
    return reinterpret_cast<HKEY>(key);
}

LStatus Open(RegistryKeyHandle key, const auto* sub_key, std::uint32_t options, std::uint32_t sam_desired,
             RegistryKeyHandle* result, auto open) {
    HKEY opened = nullptr;
    const LSTATUS status = open(ToHkey(key), sub_key, options, sam_desired, &opened);
    *result = status == ERROR_SUCCESS ? reinterpret_cast<RegistryKeyHandle>(opened) : kNoRegistryKey;
    return status;
}

}  // namespace

LStatus Win32RegistryReader::RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t options,
                                           std::uint32_t sam_desired, RegistryKeyHandle* result) {
    return Open(key, sub_key, options, sam_desired, result, ::RegOpenKeyExA);
}

LStatus Win32RegistryReader::RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key,
                                           std::uint32_t options, std::uint32_t sam_desired,
                                           RegistryKeyHandle* result) {
    return Open(key, sub_key == nullptr ? nullptr : AsWide(sub_key), options, sam_desired, result,
                ::RegOpenKeyExW);
}

LStatus Win32RegistryReader::RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) {
    return ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, AsDword(sub_keys), nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
}

LStatus Win32RegistryReader::RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                                           std::uint32_t* name_length) {
    return ::RegEnumKeyExW(ToHkey(key), index, reinterpret_cast<LPWSTR>(name), AsDword(name_length), nullptr,
                           nullptr, nullptr, nullptr);
}

LStatus Win32RegistryReader::RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key,
                                          const char16_t* value, std::uint32_t flags, std::uint32_t* type,
                                          void* data, std::uint32_t* data_bytes) {
    return ::RegGetValueW(ToHkey(key), sub_key == nullptr ? nullptr : AsWide(sub_key),
                          value == nullptr ? nullptr : AsWide(value), flags, AsDword(type), data,
                          AsDword(data_bytes));
}

LStatus Win32RegistryReader::RegCloseKey(RegistryKeyHandle key) {
    // Closing happens on cleanup paths, which must not change the error number about to be logged.
    PreservedLastError keep;
    return ::RegCloseKey(ToHkey(key));
}

}  // namespace halvern
