#pragma once
// Plants and removes test data in the real registry, in a chosen view, with the Win32 calls directly.

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/win32/win32_handles.h"

namespace halvern::testing {

struct HkeyTraits {
    using handle_type = HKEY;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type key) const noexcept { ::RegCloseKey(key); }
};
using TestKey = UniqueHandle<HkeyTraits>;

inline constexpr REGSAM kView32 = KEY_WOW64_32KEY;
inline constexpr REGSAM kView64 = KEY_WOW64_64KEY;

inline TestKey CreateTestKey(HKEY hive, const std::wstring& path, REGSAM view) {
    TestKey key;
    if (::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("RegCreateKeyExW failed");
    }
    return key;
}

inline void PlantValue(HKEY hive, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
                       DWORD bytes, REGSAM view) {
    const TestKey key = CreateTestKey(hive, path, view);
    if (::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes) != ERROR_SUCCESS) {
        throw std::runtime_error("RegSetValueExW failed");
    }
}

// Stored exactly as given: pass the terminating NUL (and any embedded ones) inside `text`.
inline void PlantString(HKEY hive, const std::wstring& path, const wchar_t* name, std::wstring_view text,
                        REGSAM view) {
    PlantValue(hive, path, name, REG_SZ, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
               view);
}

inline void PlantDword(HKEY hive, const std::wstring& path, const wchar_t* name, DWORD value, REGSAM view) {
    PlantValue(hive, path, name, REG_DWORD, &value, sizeof(value), view);
}

inline bool TestKeyExists(HKEY hive, const std::wstring& path, REGSAM view) {
    TestKey key;
    return ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

inline std::optional<std::wstring> ReadTestString(HKEY hive, const std::wstring& path, const wchar_t* name,
                                                  REGSAM view) {
    TestKey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[512];
    DWORD bytes = sizeof(buffer);
    if (::RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

// Removes the key with its subtree; a missing key is fine.
inline void DeleteTestTree(HKEY hive, const std::wstring& path, REGSAM view) {
    TestKey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) {
        return;
    }
    ::RegDeleteTreeW(key.get(), nullptr);
    key.reset();
    ::RegDeleteKeyExW(hive, path.c_str(), view, 0);
}

// Empties a subtree in HKCU and in both views of HKLM when constructed and when destroyed.
class RegistrySandbox {
  public:
    explicit RegistrySandbox(std::wstring path) : path_(std::move(path)) { Clear(); }
    ~RegistrySandbox() { Clear(); }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  private:
    void Clear() {
        DeleteTestTree(HKEY_CURRENT_USER, path_, kView64);
        DeleteTestTree(HKEY_LOCAL_MACHINE, path_, kView32);
        DeleteTestTree(HKEY_LOCAL_MACHINE, path_, kView64);
    }
    std::wstring path_;
};

}  // namespace halvern::testing
