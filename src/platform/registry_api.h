#pragma once
// Seam for the registry (RegOpenKeyExA, RegOpenKeyExW, RegQueryInfoKeyW, RegEnumKeyExW, RegGetValueW,
// RegDeleteKeyW, RegCloseKey). Every call returns the Win32 status (LSTATUS) unchanged. Reading is a face
// of its own, so that a program that only reads cannot delete.

#include <cassert>
#include <cstdint>

#include "platform/unique_handle.h"

namespace halvern {

using LStatus = std::int32_t;

// An HKEY as an integer. The predefined roots are sign-extended like the Win32 HKEY_* constants, so
// the Windows binding passes a handle through with a plain cast.
using RegistryKeyHandle = std::uintptr_t;

inline constexpr RegistryKeyHandle PredefinedKey(std::int32_t value) {
    return static_cast<RegistryKeyHandle>(static_cast<std::intptr_t>(value));
}
inline constexpr RegistryKeyHandle kNoRegistryKey = 0;
inline constexpr RegistryKeyHandle kHkeyCurrentUser = PredefinedKey(static_cast<std::int32_t>(0x80000001u));
inline constexpr RegistryKeyHandle kHkeyLocalMachine = PredefinedKey(static_cast<std::int32_t>(0x80000002u));

// Win32 statuses the logic and the tests name.
inline constexpr LStatus kErrorSuccess = 0;
inline constexpr LStatus kErrorFileNotFound = 2;
inline constexpr LStatus kErrorAccessDenied = 5;
inline constexpr LStatus kErrorInvalidHandle = 6;
inline constexpr LStatus kErrorDataNotAccepted = 13;
inline constexpr LStatus kErrorInvalidParameter = 87;
inline constexpr LStatus kErrorMoreData = 234;
inline constexpr LStatus kErrorNoMoreItems = 259;
inline constexpr LStatus kErrorKeyDeleted = 1018;
inline constexpr LStatus kErrorUnsupportedType = 1630;

// Access rights.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// RegGetValueW type restrictions.
inline constexpr std::uint32_t kRrfRtRegSz = 0x00000002;
inline constexpr std::uint32_t kRrfRtRegBinary = 0x00000008;
inline constexpr std::uint32_t kRrfRtRegDword = 0x00000010;
inline constexpr std::uint32_t kRrfRtRegQword = 0x00000040;
inline constexpr std::uint32_t kRrfRtDword = kRrfRtRegBinary | kRrfRtRegDword;
inline constexpr std::uint32_t kRrfRtAny = 0x0000FFFF;

class RegistryReadApi {
  public:
    virtual ~RegistryReadApi() = default;

    // `result` receives the opened key on success and kNoRegistryKey on failure.
    virtual LStatus RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t options,
                                  std::uint32_t sam_desired, RegistryKeyHandle* result) = 0;
    virtual LStatus RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key, std::uint32_t options,
                                  std::uint32_t sam_desired, RegistryKeyHandle* result) = 0;
    // Only the number of subkeys is asked for; every other output is not requested.
    virtual LStatus RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) = 0;
    // `name_length` is in characters: the buffer's room in, the name's length without its NUL out.
    // Reserved, class and last-write time are not requested.
    virtual LStatus RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                                  std::uint32_t* name_length) = 0;
    // `sub_key` may be null. `type` and `data` may be null; `data_bytes` is in bytes, in and out.
    virtual LStatus RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key, const char16_t* value,
                                 std::uint32_t flags, std::uint32_t* type, void* data,
                                 std::uint32_t* data_bytes) = 0;
    virtual LStatus RegCloseKey(RegistryKeyHandle key) = 0;
};

class RegistryApi : public virtual RegistryReadApi {
  public:
    // Deletes one key that has no subkeys.
    virtual LStatus RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) = 0;
};

// Owns an opened key and closes it through the seam it came from.
struct RegistryKeyTraits {
    using handle_type = RegistryKeyHandle;
    static handle_type invalid() noexcept { return kNoRegistryKey; }
    void close(handle_type key) const noexcept {
        assert(registry != nullptr);
        registry->RegCloseKey(key);
    }
    RegistryReadApi* registry = nullptr;
};

using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace halvern
