#pragma once
// One in-memory Windows for the native tests: every seam in one object, with the Win32 semantics the tool
// relies on (statuses, byte counts, NUL handling, the 32-bit registry view, handle lifetimes), a package
// manager that answers and fails as the platform does, and failure injection by call name and occurrence,
// counted over the whole run.

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/projection/hresult_error.h"
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
    std::uint32_t access_type = 0, flags = 0;
    std::u16string body;
    bool body_whole = false;  // optional and total length both the body's byte count
};

namespace fake {

inline constexpr std::uint32_t kNeutral = 0x0400;
inline constexpr std::uint32_t kUsEnglish = 0x0409;
inline const auto kKernel32 = reinterpret_cast<ModuleHandle>(0x7700);
inline const auto kIsWow64Process2 = reinterpret_cast<ProcedureAddress>(0x7710);
// The clock: the precise time, a coarse one 1.2345 ms behind it, and the process's creation.
inline constexpr FileTime kNow{0x8B1D5E00, 0x01DC7A3E};
inline constexpr FileTime kCoarseNow{0x8B1D5E00 - 12345, 0x01DC7A3E};
inline constexpr FileTime kCreated{0x80000000, 0x01DC7A3E};

inline std::u16string Text(const char16_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

}  // namespace fake

// The index of FakePlatform::keys: the path in upper case.
inline std::u16string KeyOf(const std::u16string& path) {
    std::u16string upper = path;
    std::transform(path.begin(), path.end(), upper.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; });
    return upper;
}

// "HKLM\Software\Wow6432Node\..." for the 32-bit view of HKLM\Software, as Windows redirects it.
inline std::u16string ThirtyTwoBitPath(const std::u16string& path) {
    const std::u16string upper = KeyOf(path);
    const bool software =
        upper.starts_with(u"HKLM\\SOFTWARE\\") && !upper.starts_with(u"HKLM\\SOFTWARE\\WOW6432NODE");
    return software ? path.substr(0, 14) + u"Wow6432Node\\" + path.substr(14) : path;
}

class FakePlatform final : public DebugOutputApi,
                           public CommandLineApi,
                           public RegistryApi,
                           public SystemMessagesApi,
                           public PackageManagerApi,
                           public WinHttpApi,
                           public HostFactsApi,
                           public ProcessClockApi {
  public:
    // Windows 10.0.19045 (UBR 3803) on x64, nothing registered, no package.
    FakePlatform() {
        CreateKey(u"HKCU\\Software");
        SetValue(u"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion", u"UBR",
                 {kRegDword, {0xDB, 0x0E, 0, 0}});
    }

    // The machine of a scenario: its registrations, updater ids, package world, sink and command line.
    explicit FakePlatform(const scenarios::Scenario& scenario) : FakePlatform() {
        world = scenario;
        sink_status = scenario.sink_status;
        for (const auto& argument : scenario.arguments) {
            command_line += u" " + argument;
            arguments->push_back(argument);
        }
        for (const auto& registration : scenario.registrations) {
            const std::u16string key = RegistrationPath(registration.hive, registration.app_id);
            CreateKey(registration.has_subkey ? key + u"\\Commands" : key);
            for (const auto& value : registration.values) {
                const auto* dword = reinterpret_cast<const std::uint8_t*>(&value.number);
                value.type == kRegSz ? SetString(key, value.name, value.text)
                                     : SetValue(key, value.name, {value.type, {dword, dword + 4}});
            }
        }
        if (scenario.machine_uid) {
            SetString(u"HKLM\\Software\\Wow6432Node\\HalvernUpdate\\Update", u"uid", *scenario.machine_uid);
        }
        if (scenario.user_uid) {
            SetString(u"HKCU\\Software\\HalvernUpdate\\Update", u"uid", *scenario.user_uid);
        }
    }

    Platform platform() { return {*this, *this, *this, *this, *this, *this, *this, *this}; }

    // Full paths, "HKLM\Software\..." or "HKCU\...": the key itself, no view applies.
    void CreateKey(const std::u16string& key_path) {
        for (std::size_t end = key_path.find(u'\\');; end = key_path.find(u'\\', end + 1)) {
            const std::u16string path = key_path.substr(0, end);
            keys.try_emplace(KeyOf(path), FakeKey{path.substr(path.rfind(u'\\') + 1), {}});
            if (end == std::u16string::npos) {
                return;
            }
        }
    }
    void SetValue(const std::u16string& key_path, const std::u16string& name, FakeValue value) {
        CreateKey(key_path);
        keys[KeyOf(key_path)].values.emplace_back(name, std::move(value));
    }
    void SetString(const std::u16string& key_path, const std::u16string& name, const std::u16string& text) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
        SetValue(key_path, name,
                 {kRegSz, {bytes, bytes + (text.size() + 1) * 2}});  // with its NUL, as tools write it
    }
    // Where a scenario's registration lives: HKLM and HKCU in their 32-bit view, HKLM64 in the 64-bit one.
    static std::u16string RegistrationPath(const std::string& hive, const std::u16string& app_id) {
        return std::u16string(hive == "HKCU" ? u"HKCU" : u"HKLM") +
               (hive == "HKLM" ? u"\\Software\\Wow6432Node" : u"\\Software") +
               u"\\HalvernUpdate\\Update\\Clients\\" + app_id;
    }
    void Fail(std::string call, std::int32_t status, int nth = 0) {
        world.failures.push_back({std::move(call), scenarios::FailureKind::Status, status, nth});
    }
    // The texts FormatMessageW gives: US English (0x0409) and the neutral language (0x0400) differ.
    static std::u16string SystemText(std::uint32_t id, std::uint32_t language) {
        const std::string number = std::to_string(id);
        return (language == fake::kUsEnglish ? u"US text of " : u"Neutral text of ") +
               std::u16string(number.begin(), number.end()) + u".\r\n";
    }

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

    void OutputDebugStringW(const char16_t* text) override { lines.emplace_back(text); }
    std::u16string GetCommandLineW() override { return command_line; }
    std::optional<std::vector<std::u16string>> CommandLineToArgvW(const std::u16string& line) override {
        return line == command_line && !Injected("CommandLineToArgvW") ? arguments : std::nullopt;
    }
    std::optional<std::u16string> FormatMessageW(std::uint32_t message_id,
                                                 std::uint32_t language_id) override {
        const bool known = language_id == fake::kUsEnglish || language_id == fake::kNeutral;
        return Injected("FormatMessageW") || !known ? std::nullopt
                                                    : std::optional(SystemText(message_id, language_id));
    }

    // --- registry ---------------------------------------------------------------------------------------

    LStatus RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t,
                          std::uint32_t sam_desired, RegistryKeyHandle* result) override {
        const std::string narrow = sub_key == nullptr ? "" : sub_key;
        const auto status = Injected("RegOpenKeyExA");
        return status ? (*result = kNoRegistryKey, *status)
                      : Open(key, std::u16string(narrow.begin(), narrow.end()), sam_desired, result);
    }
    LStatus RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key, std::uint32_t,
                          std::uint32_t sam_desired, RegistryKeyHandle* result) override {
        const auto status = Injected("RegOpenKeyExW");
        return status ? (*result = kNoRegistryKey, *status)
                      : Open(key, fake::Text(sub_key), sam_desired, result);
    }
    LStatus RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) override {
        const auto path = PathOf(key);
        const auto status = Injected("RegQueryInfoKeyW");
        if (!status && path) {
            *sub_keys = static_cast<std::uint32_t>(Subkeys(*path).size());
        }
        return status.value_or(path ? kErrorSuccess : kErrorInvalidHandle);
    }
    LStatus RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                          std::uint32_t* name_length) override {
        const auto path = PathOf(key);
        if (const auto status = Injected("RegEnumKeyExW"); status || !path) {
            return status.value_or(kErrorInvalidHandle);
        }
        const auto names = Subkeys(*path);
        if (index >= names.size() || names[index].size() + 1 > *name_length) {
            return index >= names.size() ? kErrorNoMoreItems : kErrorMoreData;
        }
        *std::copy(names[index].begin(), names[index].end(), name) = u'\0';
        *name_length = static_cast<std::uint32_t>(names[index].size());
        return kErrorSuccess;
    }
    LStatus RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key, const char16_t* value,
                         std::uint32_t flags, std::uint32_t*, void* data,
                         std::uint32_t* data_bytes) override {
        const auto path = PathOf(key);
        if (const auto status = Injected("RegGetValueW"); status || !path || !fake::Text(sub_key).empty()) {
            return status.value_or(path ? kErrorInvalidParameter : kErrorInvalidHandle);
        }
        const auto& values = keys.at(KeyOf(*path)).values;  // the tool deletes no key it holds open
        const auto named = std::find_if(values.begin(), values.end(), [&](const auto& entry) {
            return KeyOf(entry.first) == KeyOf(fake::Text(value));
        });
        if (named == values.end()) {
            return kErrorFileNotFound;
        }
        const FakeValue& stored = named->second;
        const std::uint32_t accepted = stored.type == kRegSz       ? kRrfRtRegSz
                                       : stored.type == kRegDword  ? kRrfRtRegDword
                                       : stored.type == kRegBinary ? kRrfRtRegBinary
                                                                   : 0;
        if ((flags & accepted) == 0) {
            return kErrorUnsupportedType;
        }
        if (stored.type == kRegBinary && (flags & kRrfRtDword) == kRrfRtDword && stored.bytes.size() != 4) {
            return 1629;  // ERROR_DATATYPE_MISMATCH
        }
        std::vector<std::uint8_t> bytes = stored.bytes;
        if (stored.type == kRegSz &&
            (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0)) {
            bytes.resize(bytes.size() + bytes.size() % 2 + 2, 0);  // handed out NUL-terminated
        }
        const bool fits = data == nullptr || *data_bytes >= bytes.size();
        if (data != nullptr && fits) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
        *data_bytes = static_cast<std::uint32_t>(bytes.size());
        return fits ? kErrorSuccess : kErrorMoreData;
    }
    LStatus RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) override {
        const auto base = PathOf(key);
        if (const auto status = Injected("RegDeleteKeyW"); status || !base) {
            return status.value_or(kErrorInvalidHandle);
        }
        const std::u16string path = fake::Text(sub_key).empty() ? *base : *base + u"\\" + fake::Text(sub_key);
        if (!keys.contains(KeyOf(path)) || !Subkeys(path).empty()) {
            return keys.contains(KeyOf(path)) ? kErrorAccessDenied : kErrorFileNotFound;
        }
        keys.erase(KeyOf(path));
        return kErrorSuccess;
    }
    LStatus RegCloseKey(RegistryKeyHandle key) override {
        return open_keys_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
    }

    // --- the package manager, failing as the platform does ----------------------------------------------

    std::vector<PackageFacts> FindPackagesByPackageFamilyName(const std::u16string& family_name) override {
        return Search("FindPackagesByPackageFamilyName", u"FindAll ", family_name, false);
    }
    std::vector<PackageFacts> FindPackagesByUserSecurityIdPackageFamilyName(
        const std::u16string& user_security_id, const std::u16string& family_name) override {
        return Search("FindPackagesByUserSecurityIdPackageFamilyName", u"FindMine ", family_name,
                      user_security_id.empty());
    }
    std::vector<std::unique_ptr<PackageUserInformation>> FindUsers(
        const std::u16string& package_full_name) override {
        Enter("FindUsers", u"FindUsers " + package_full_name);
        std::vector<std::unique_ptr<PackageUserInformation>> users;
        for (const auto& package : world.packages) {
            for (const auto& entry :
                 package.full_name == package_full_name ? package.users : decltype(package.users){}) {
                users.push_back(std::make_unique<User>(*this, entry));
            }
        }
        return users;
    }
    std::optional<DeploymentError> RemovePackageWithOptions(const std::u16string& package_full_name,
                                                            std::uint32_t removal_options) override {
        auto failed = Deploy("RemovePackageWithOptionsAsync", u"Remove " + package_full_name,
                             world.has_manager2, world.Removal(package_full_name));
        if (removal_options != kRemoveForAllUsers) {
            calls.back() += u" with other options";
        }
        if (!failed) {
            std::erase_if(world.packages, [&](const auto& p) { return p.full_name == package_full_name; });
        }
        return failed;
    }
    std::optional<DeploymentError> DeprovisionPackageForAllUsers(
        const std::u16string& package_family_name) override {
        return Deploy("DeprovisionPackageForAllUsersAsync", u"Deprovision " + package_family_name,
                      world.has_manager8, world.Deprovisioning(package_family_name));
    }

    // --- WinHTTP ----------------------------------------------------------------------------------------

    InternetHandle WinHttpOpen(const char16_t*, std::uint32_t access_type, const char16_t*, const char16_t*,
                               std::uint32_t) override {
        return Child("WinHttpOpen", nullptr, "session", access_type);
    }
    InternetHandle WinHttpConnect(InternetHandle session, const char16_t*, std::uint16_t,
                                  std::uint32_t) override {
        return Child("WinHttpConnect", session, "connection");
    }
    InternetHandle WinHttpOpenRequest(InternetHandle connection, const char16_t*, const char16_t*,
                                      const char16_t*, const char16_t*, const char16_t* const*,
                                      std::uint32_t flags) override {
        return Child("WinHttpOpenRequest", connection, "request", 0, flags);
    }
    // What the tool sends there, the sink checks end to end.
    bool WinHttpAddRequestHeaders(InternetHandle request, const char16_t*, std::uint32_t,
                                  std::uint32_t) override {
        return !FailedWin32("WinHttpAddRequestHeaders") && internet_.contains(request);
    }
    bool WinHttpSendRequest(InternetHandle request, const char16_t*, std::uint32_t, const void* optional,
                            std::uint32_t optional_length, std::uint32_t total_length,
                            std::uintptr_t) override {
        if (FailedWin32("WinHttpSendRequest")) {
            return false;
        }
        FakeRequest sent = internet_.at(request).second;
        const auto* bytes = static_cast<const std::uint8_t*>(optional);
        for (std::uint32_t index = 0; index + 1 < optional_length; index += 2) {
            sent.body.push_back(static_cast<char16_t>(bytes[index] | (bytes[index + 1] << 8)));
        }
        sent.body_whole = optional_length == total_length && optional_length == sent.body.size() * 2;
        requests.push_back(std::move(sent));
        return true;
    }
    bool WinHttpReceiveResponse(InternetHandle, void*) override {
        return !FailedWin32("WinHttpReceiveResponse");
    }
    bool WinHttpQueryHeaders(InternetHandle, std::uint32_t info_level, const char16_t*, void* buffer,
                             std::uint32_t* buffer_length, std::uint32_t*) override {
        const bool asked =
            info_level == (winhttp::kQueryStatusCode | winhttp::kQueryFlagNumber) && *buffer_length == 4;
        if (FailedWin32("WinHttpQueryHeaders") || !asked) {
            last_error_ = asked ? last_error_ : kErrorInvalidParameter;
            return false;
        }
        std::memcpy(buffer, &sink_status, 4);
        return true;
    }
    bool WinHttpCloseHandle(InternetHandle handle) override {
        const auto found = internet_.find(handle);
        if (found != internet_.end()) {
            closed.push_back(found->second.first);
            internet_.erase(found);
        }
        return found != internet_.end();
    }
    std::uint32_t GetLastError() override { return last_error_; }

    // --- host facts and clock ---------------------------------------------------------------------------

    bool GetVersionExW(OsVersionInfo* info) override {
        if (FailedWin32("GetVersionExW") || info->dwOSVersionInfoSize != sizeof(OsVersionInfo)) {
            last_error_ =
                info->dwOSVersionInfoSize != sizeof(OsVersionInfo) ? 122 : last_error_;  // too small
            return false;
        }
        info->dwMajorVersion = 10;
        info->dwMinorVersion = 0;
        info->dwBuildNumber = 19045;
        return true;
    }
    ModuleHandle GetModuleHandleW(const char16_t* module_name) override {
        return FailedWin32("GetModuleHandleW") || KeyOf(fake::Text(module_name)) != u"KERNEL32"
                   ? nullptr
                   : fake::kKernel32;
    }
    ProcedureAddress GetProcAddress(ModuleHandle module, const char* procedure_name) override {
        const bool known = module == fake::kKernel32 && std::strcmp(procedure_name, "IsWow64Process2") == 0;
        return FailedWin32("GetProcAddress") || !known ? nullptr : fake::kIsWow64Process2;
    }
    bool IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                         std::uint16_t* process_machine, std::uint16_t* native) override {
        const bool asked = is_wow64_process2 == fake::kIsWow64Process2 && process == GetCurrentProcess() &&
                           *process_machine == 0 && *native == 0;
        *native = native_machine;
        return !FailedWin32("IsWow64Process2") && asked;
    }
    ProcessHandle GetCurrentProcess() override { return reinterpret_cast<ProcessHandle>(-1); }
    void GetNativeSystemInfo(SystemInfo* info) override {
        info->wProcessorArchitecture = system_architecture;
    }
    bool GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime*, FileTime*,
                         FileTime*) override {
        *creation_time = fake::kCreated;
        return !FailedWin32("GetProcessTimes") && process == GetCurrentProcess();
    }
    void GetSystemTimeAsFileTime(FileTime* time) override { *time = fake::kCoarseNow; }
    void GetSystemTimePreciseAsFileTime(FileTime* time) override { *time = fake::kNow; }

  private:
    class User final : public PackageUserInformation {
      public:
        User(FakePlatform& platform, scenarios::UserEntry entry)
            : platform_(platform), entry_(std::move(entry)) {}
        std::u16string UserSecurityId() const override { return entry_.security_id; }
        PackageInstallState InstallState() const override {
            platform_.Enter("get_InstallState", u"State " + entry_.security_id);
            return PackageInstallState{entry_.install_state};
        }

      private:
        FakePlatform& platform_;
        scenarios::UserEntry entry_;
    };

    // A package-manager call: logged, and failing on demand with the HRESULT's kind and its neutral text, as
    // the projection raises it.
    void Enter(const char* call, std::u16string logged) {
        calls.push_back(std::move(logged));
        if (const auto status = Injected(call)) {
            Raise(*status);
        }
    }
    [[noreturn]] static void Raise(std::int32_t status) {
        projection::throw_hresult(status, SystemText(static_cast<std::uint32_t>(status), fake::kNeutral));
    }

    // Counts the call; the status injected for this occurrence, if any (std::bad_alloc is raised).
    std::optional<std::int32_t> Injected(const std::string& call) {
        const int count = ++counts_[call];
        for (const auto& failure : world.failures) {
            if (failure.call == call && (failure.nth == 0 || failure.nth == count)) {
                if (failure.kind == scenarios::FailureKind::BadAlloc) {
                    throw std::bad_alloc();
                }
                return failure.status;
            }
        }
        return std::nullopt;
    }
    // And sets the last error.
    bool FailedWin32(const std::string& call) {
        const auto status = Injected(call);
        last_error_ = status ? static_cast<std::uint32_t>(*status) : last_error_;
        return status.has_value();
    }

    std::optional<std::u16string> PathOf(RegistryKeyHandle key) const {
        if (key == kHkeyLocalMachine || key == kHkeyCurrentUser) {
            return key == kHkeyLocalMachine ? u"HKLM" : u"HKCU";
        }
        const auto found = open_keys_.find(key);
        return found == open_keys_.end() ? std::nullopt : std::optional(found->second);
    }
    std::vector<std::u16string> Subkeys(const std::u16string& path) const {
        std::vector<std::u16string> names;  // in the order Windows enumerates them: by name
        const std::u16string prefix = KeyOf(path) + u"\\";
        for (auto it = keys.lower_bound(prefix); it != keys.end() && it->first.starts_with(prefix); ++it) {
            if (it->first.find(u'\\', prefix.size()) == std::u16string::npos) {
                names.push_back(it->second.name);
            }
        }
        return names;
    }
    LStatus Open(RegistryKeyHandle key, const std::u16string& sub_key, std::uint32_t sam,
                 RegistryKeyHandle* result) {
        *result = kNoRegistryKey;
        const auto base = PathOf(key);
        std::u16string path = base.value_or(u"") + (sub_key.empty() ? u"" : u"\\" + sub_key);
        path.erase(path.find_last_not_of(u'\\') + 1);
        path = (sam & kKeyWow64_32Key) != 0 ? ThirtyTwoBitPath(path) : path;
        if (!base || !keys.contains(KeyOf(path))) {
            return base ? kErrorFileNotFound : kErrorInvalidHandle;
        }
        open_keys_[*result = next_key_++] = path;
        return kErrorSuccess;
    }

    std::vector<PackageFacts> Search(const char* call, const char16_t* logged, const std::u16string& family,
                                     bool current_user_only) {
        Enter(call, logged + family);
        std::vector<PackageFacts> found;
        for (const auto& p : world.packages) {
            if (p.family_name == family && (p.current_user || !current_user_only)) {
                found.push_back({p.name,
                                 p.display_name,
                                 p.full_name,
                                 p.family_name,
                                 {p.version[0], p.version[1], p.version[2], p.version[3]},
                                 p.has_package8,
                                 p.has_package8 ? p.installed_path : u"",
                                 p.has_package8 ? p.external_path : u""});
            }
        }
        return found;
    }
    // A deployment: the interface it needs, then the call, each failing as asked; then its scripted result.
    std::optional<DeploymentError> Deploy(const char* call, std::u16string logged, bool has_interface,
                                          const scenarios::Deployment* outcome) {
        Enter(call, std::move(logged));
        if (!has_interface) {
            Raise(projection::hresults::kNoInterface);
        }
        if (outcome == nullptr || outcome->extended_error == 0) {
            return std::nullopt;
        }
        return DeploymentError{outcome->error_text, outcome->extended_error};
    }
    // A WinHTTP handle under `parent`, carrying the access type and flags of its parent and its own.
    InternetHandle Child(const char* call, InternetHandle parent, const char* kind,
                         std::uint32_t access_type = 0, std::uint32_t flags = 0) {
        if (FailedWin32(call) || (parent != nullptr && !internet_.contains(parent))) {
            return nullptr;
        }
        const auto handle = reinterpret_cast<InternetHandle>(next_internet_++);
        const FakeRequest carried = parent == nullptr ? FakeRequest{} : internet_.at(parent).second;
        internet_[handle] = {kind, {carried.access_type | access_type, carried.flags | flags, {}, false}};
        return handle;
    }

    std::map<std::string, int> counts_;
    std::map<RegistryKeyHandle, std::u16string> open_keys_;
    RegistryKeyHandle next_key_ = 0x1000;
    std::map<InternetHandle, std::pair<std::string, FakeRequest>> internet_;  // kind and what it carries
    std::uintptr_t next_internet_ = 0x100;
    std::uint32_t last_error_ = 0;
};

// The form body's pairs, split at "&" and "=" and unescaped as a receiver does.
inline std::vector<std::pair<std::u16string, std::u16string>> DecodeForm(const std::u16string& body) {
    const auto unescape = [](std::u16string_view text) {
        std::u16string plain;
        for (std::size_t index = 0; index < text.size(); ++index) {
            const std::u16string_view code = text.substr(index, 3);
            const std::size_t which =
                code.starts_with(u'%') ? std::u16string_view(u"%25%26%3D%2B").find(code) : 12;
            plain.push_back(which % 3 == 0 && which < 12 ? u"%&=+"[which / 3] : text[index]);
            index += which % 3 == 0 && which < 12 ? 2 : 0;
        }
        return plain;
    };
    std::vector<std::pair<std::u16string, std::u16string>> fields;
    for (std::u16string_view rest = body;; rest.remove_prefix(rest.find(u'&') + 1)) {
        const std::u16string_view pair = rest.substr(0, rest.find(u'&'));
        const std::size_t equals = pair.find(u'=');
        fields.emplace_back(unescape(pair.substr(0, equals)),
                            equals == pair.npos ? u"<no =>" : unescape(pair.substr(equals + 1)));
        if (pair.size() == rest.size()) {
            return fields;
        }
    }
}

}  // namespace halvern::testing
