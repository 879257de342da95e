#pragma once
// One in-memory Windows for the native tests: every seam in one object, with the Win32 semantics the tool
// relies on (statuses, byte counts, NUL handling, the 32-bit registry view, handle lifetimes), a package
// manager that raises what the bridge raises, and failure injection by call name and occurrence, counted
// over the whole run.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scenarios/scenario.h"

namespace halvern::testing {

struct FakeValue {
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const FakeValue&, const FakeValue&) = default;
};

struct FakeKey {
    std::u16string name;  // as created
    std::vector<std::pair<std::u16string, FakeValue>> values;
    friend bool operator==(const FakeKey&, const FakeKey&) = default;
};

// One HTTPS request as it reached the server.
struct FakeRequest {
    std::u16string agent, host, verb, path, headers, body;
    std::uint32_t access_type = 0, flags = 0;
    std::uint16_t port = 0;
    bool body_whole = false;  // optional and total length both the body's byte count
};

class FakePlatform final : public DebugOutputApi,
                           public CommandLineApi,
                           public RegistryApi,
                           public SystemMessagesApi,
                           public PackageManagerBridge,
                           public WinHttpApi,
                           public HostFactsApi,
                           public ProcessClockApi {
  public:
    // Windows 10.0.19045 (UBR 3803) on x64, nothing registered, no package.
    FakePlatform();
    // The machine of a scenario: its registrations, updater ids, package world, sink and command line.
    explicit FakePlatform(const scenarios::Scenario& scenario);
    Platform platform() { return {*this, *this, *this, *this, *this, *this, *this, *this}; }

    // Full paths, "HKLM\Software\..." or "HKCU\...": the key itself, no view applies.
    void SetValue(const std::u16string& key_path, const std::u16string& name, FakeValue value);
    void SetString(const std::u16string& key_path, const std::u16string& name, const std::u16string& text);
    void CreateKey(const std::u16string& key_path);
    static std::u16string KeyOf(const std::u16string& path);  // the index of `keys`: upper case
    // Where a scenario's registration lives: HKLM and HKCU in their 32-bit view, HKLM64 in the 64-bit one.
    static std::u16string RegistrationPath(const std::string& hive, const std::u16string& app_id);
    void Fail(std::string call, std::int32_t status, int nth = 0);
    // The texts FormatMessageW gives: US English (0x0409) and the neutral language (0x0400) differ.
    static std::u16string SystemText(std::uint32_t id, std::uint32_t language);
    std::int32_t InstallStateOf(const scenarios::UserEntry& entry);  // logged, failing on demand

    std::map<std::u16string, FakeKey> keys;  // parents always exist
    scenarios::Scenario world;               // the package world; removals take packages out of it
    std::uint32_t sink_status = 200;
    std::u16string command_line = u"\"C:\\Program Files\\Halvern\\HalvernCleanup.exe\"";
    std::optional<std::vector<std::u16string>> arguments{{u"C:\\Program Files\\Halvern\\HalvernCleanup.exe"}};
    std::uint16_t native_machine = 0x8664;  // IsWow64Process2's
    std::uint16_t system_architecture = 9;  // GetNativeSystemInfo's
    // What the run did.
    std::vector<std::u16string> lines;  // every OutputDebugStringW string
    std::vector<std::u16string> calls;  // the package manager's operations: "FindAll F", "Remove P", ...
    std::vector<FakeRequest> requests;
    std::vector<std::string> closed;  // "session", "connection", "request", in closing order
    std::size_t open_keys() const { return open_keys_.size(); }
    std::size_t open_internet_handles() const { return internet_.size(); }

    void OutputDebugStringW(const char16_t* text) override;
    std::u16string GetCommandLineW() override;
    std::optional<std::vector<std::u16string>> CommandLineToArgvW(const std::u16string& line) override;
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
    std::optional<std::u16string> FormatMessageW(std::uint32_t message_id,
                                                 std::uint32_t language_id) override;
    std::vector<PackageInfo> FindPackagesForCurrentUser(const std::u16string& package_family_name) override;
    std::vector<PackageInfo> FindPackagesForAllUsers(const std::u16string& package_family_name) override;
    std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
        const std::u16string& package_full_name) override;
    void RemovePackageForAllUsers(const std::u16string& package_full_name) override;
    void DeprovisionForAllUsers(const std::u16string& package_family_name) override;
    InternetHandle WinHttpOpen(const char16_t* agent, std::uint32_t access_type, const char16_t* proxy_name,
                               const char16_t* proxy_bypass, std::uint32_t flags) override;
    InternetHandle WinHttpConnect(InternetHandle session, const char16_t* server_name,
                                  std::uint16_t server_port, std::uint32_t reserved) override;
    InternetHandle WinHttpOpenRequest(InternetHandle connection, const char16_t* verb,
                                      const char16_t* object_name, const char16_t* version,
                                      const char16_t* referrer, const char16_t* const* accept_types,
                                      std::uint32_t flags) override;
    bool WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers,
                                  std::uint32_t headers_length, std::uint32_t modifiers) override;
    bool WinHttpSendRequest(InternetHandle request, const char16_t* headers, std::uint32_t headers_length,
                            const void* optional, std::uint32_t optional_length, std::uint32_t total_length,
                            std::uintptr_t context) override;
    bool WinHttpReceiveResponse(InternetHandle request, void* reserved) override;
    bool WinHttpQueryHeaders(InternetHandle request, std::uint32_t info_level, const char16_t* name,
                             void* buffer, std::uint32_t* buffer_length, std::uint32_t* index) override;
    bool WinHttpCloseHandle(InternetHandle handle) override;
    std::uint32_t GetLastError() override;
    bool GetVersionExW(OsVersionInfo* info) override;
    ModuleHandle GetModuleHandleW(const char16_t* module_name) override;
    ProcedureAddress GetProcAddress(ModuleHandle module, const char* procedure_name) override;
    bool IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                         std::uint16_t* process_machine, std::uint16_t* native) override;
    ProcessHandle GetCurrentProcess() override;
    void GetNativeSystemInfo(SystemInfo* info) override;
    bool GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime* exit_time,
                         FileTime* kernel_time, FileTime* user_time) override;
    void GetSystemTimeAsFileTime(FileTime* time) override;
    void GetSystemTimePreciseAsFileTime(FileTime* time) override;

  private:
    // Counts the call; the status injected for this occurrence, if any (std::bad_alloc is raised).
    std::optional<std::int32_t> Injected(const std::string& call);
    bool FailedWin32(const std::string& call);  // and sets the last error
    LStatus Open(RegistryKeyHandle key, const std::u16string& sub_key, std::uint32_t sam,
                 RegistryKeyHandle* result);
    std::optional<std::u16string> PathOf(RegistryKeyHandle key) const;
    std::vector<std::u16string> Subkeys(const std::u16string& path) const;
    std::vector<PackageInfo> Search(const char* call, const char16_t* logged, const std::u16string& family,
                                    bool current_user_only);
    // A WinHTTP handle under `parent`, carrying what its parent carries and what `carry` adds.
    InternetHandle Child(const char* call, InternetHandle parent, const char* kind,
                         const std::function<void(FakeRequest&)>& carry);
    // A removal (else a deprovisioning): logged, failing on demand or as the world says.
    void Deploy(const char* call, const std::u16string& target, bool removal);

    std::map<std::string, int> counts_;
    std::map<RegistryKeyHandle, std::u16string> open_keys_;
    RegistryKeyHandle next_key_ = 0x1000;
    std::map<InternetHandle, std::pair<std::string, FakeRequest>> internet_;  // kind and what it carries
    std::uintptr_t next_internet_ = 0x100;
    std::uint32_t last_error_ = 0;
};

// "HKLM\Software\Wow6432Node\..." for the 32-bit view of HKLM\Software, as Windows redirects it.
std::u16string ThirtyTwoBitPath(const std::u16string& path);

// The form body's pairs, split at "&" and "=" and unescaped as a receiver does.
std::vector<std::pair<std::u16string, std::u16string>> DecodeForm(const std::u16string& body);

}  // namespace halvern::testing
