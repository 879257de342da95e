#pragma once
// An in-memory registry with the Win32 semantics the logic relies on: HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, the 32-bit view of HKLM\Software (Wow6432Node), value types and byte counts,
// embedded NULs, and the statuses ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ERROR_UNSUPPORTED_TYPE,
// ERROR_NO_MORE_ITEMS, ERROR_ACCESS_DENIED (deleting a key that has a subkey), ERROR_KEY_DELETED and
// ERROR_INVALID_HANDLE. It records every call, fails any call on demand, runs a hook before each call
// (to change the tree between two calls) and counts the open handles.
//
// Planting and inspecting take a root (kHkeyCurrentUser or kHkeyLocalMachine), a path below it and a
// view. The default view is the 32-bit one, where the tool reads: "Software\..." under HKLM lands in
// "Software\Wow6432Node\..."; View::k64 reaches the key itself. HKCU is the same in both views.
//
// Differences from Windows, on purpose: subkeys enumerate in the order they were created (Windows
// sorts them), so a test can tell whether the logic keeps the enumeration order; names compare
// case-insensitively for ASCII letters only; key names longer than 255 characters are accepted.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_api.h"

namespace halvern::testing {

enum class RegistryFunction {
    RegOpenKeyExA,
    RegOpenKeyExW,
    RegQueryInfoKeyW,
    RegEnumKeyExW,
    RegGetValueW,
    RegDeleteKeyW,
    RegCloseKey,
};

// One call as the logic made it, with where it landed and what it returned.
struct RegistryCall {
    RegistryFunction function{};
    RegistryKeyHandle key = kNoRegistryKey;  // The handle passed in.
    std::u16string sub_key{};                // Widened for RegOpenKeyExA; empty when null.
    std::u16string value_name{};             // RegGetValueW.
    std::uint32_t access = 0;                // sam_desired of the opens.
    std::uint32_t flags = 0;                 // RegGetValueW's type restriction.
    std::uint32_t index = 0;                 // RegEnumKeyExW.
    bool data_offered = false;               // RegGetValueW: a buffer was passed.
    std::uint32_t data_bytes = 0;            // RegGetValueW: the byte count passed in.
    // Filled once the call is served:
    RegistryKeyHandle hive = kNoRegistryKey;  // kHkeyCurrentUser or kHkeyLocalMachine; none for a bad handle.
    std::u16string target{};                  // The key reached, e.g. "HKLM\Software\Wow6432Node\X".
    RegistryKeyHandle opened = kNoRegistryKey;  // The handle an open returned.
    LStatus status = kErrorSuccess;
};

struct FakeRegistryValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> bytes;

    friend bool operator==(const FakeRegistryValue&, const FakeRegistryValue&) = default;
};

class FakeRegistry final : public RegistryApi {
  public:
    enum class View { k32, k64 };

    FakeRegistry();
    ~FakeRegistry() override;

    // --- planting ------------------------------------------------------------------------------
    // Each creates the missing keys of the path.
    void CreateKey(RegistryKeyHandle root, std::u16string_view path, View view = View::k32);
    // A REG_SZ stored with its terminating NUL, as the registry tools write it. `text` may hold NULs.
    void SetString(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                   std::u16string_view text, View view = View::k32);
    void SetDword(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                  std::uint32_t value, View view = View::k32);
    // Any type and any bytes, for values no registry tool would write (say, an unterminated REG_SZ).
    void SetValue(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                  FakeRegistryValue value, View view = View::k32);
    // Removes a key with its subtree, whatever the subkeys. False when it does not exist.
    bool DeleteTree(RegistryKeyHandle root, std::u16string_view path, View view = View::k32);

    // --- inspecting ----------------------------------------------------------------------------
    bool KeyExists(RegistryKeyHandle root, std::u16string_view path, View view = View::k32) const;
    std::optional<FakeRegistryValue> GetValue(RegistryKeyHandle root, std::u16string_view path,
                                              std::u16string_view name, View view = View::k32) const;
    // In enumeration order.
    std::vector<std::u16string> SubkeyNames(RegistryKeyHandle root, std::u16string_view path,
                                            View view = View::k32) const;
    // Every key and value of both hives as text, for comparing the whole tree before and after.
    std::u16string Dump() const;

    // --- calls -----------------------------------------------------------------------------------
    std::vector<RegistryCall> calls;
    std::vector<RegistryCall> CallsOf(RegistryFunction function) const;
    // Handles opened and not yet closed (the predefined roots are never counted).
    std::size_t OpenHandleCount() const { return handles_.size(); }

    // Every call whose arguments match fails with the status and changes nothing (a failed open
    // returns no handle). The earliest registered fault that matches decides.
    void FailWhen(std::function<bool(const RegistryCall&)> matches, LStatus status);
    void FailCalls(RegistryFunction function, LStatus status);
    // Runs before each call is served, with the call's arguments; it may change the tree.
    std::function<void(FakeRegistry&, const RegistryCall&)> before_call;

    // --- RegistryApi -----------------------------------------------------------------------------
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
    LStatus RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) override;
    LStatus RegCloseKey(RegistryKeyHandle key) override;

    struct Node;

  private:
    struct OpenKey {
        std::shared_ptr<Node> node;
        std::vector<std::u16string> path;  // From the hive's name down, as stored.
        RegistryKeyHandle hive = kNoRegistryKey;
    };
    struct Fault {
        std::function<bool(const RegistryCall&)> matches;
        LStatus status;
    };
    struct Located {
        LStatus status = kErrorSuccess;
        std::shared_ptr<Node> parent;
        std::shared_ptr<Node> node;
        OpenKey key;
    };

    LStatus Serve(RegistryCall& call, const std::function<LStatus(RegistryCall&)>& serve);
    LStatus Open(RegistryCall call, RegistryKeyHandle key, std::uint32_t sam_desired,
                 RegistryKeyHandle* result);
    // Where `sub_key` below `key` leads; KEY_WOW64_32KEY in `access` selects the 32-bit view.
    Located Locate(RegistryKeyHandle key, std::u16string_view sub_key, std::uint32_t access,
                   RegistryCall* call = nullptr) const;
    Located LocateForTest(RegistryKeyHandle root, std::u16string_view path, View view) const;
    std::shared_ptr<Node> CreatePath(RegistryKeyHandle root, std::u16string_view path, View view);

    std::map<RegistryKeyHandle, std::shared_ptr<Node>> roots_;
    std::map<RegistryKeyHandle, OpenKey> handles_;
    RegistryKeyHandle next_handle_ = 0x1000;
    std::vector<Fault> faults_;
    bool in_hook_ = false;
};

}  // namespace halvern::testing
