#include "fakes/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "errors/msix_exception.h"
#include "packages/package_version_text.h"
#include "platform/projection/hresult_error.h"

namespace halvern::testing {
namespace {

using scenarios::FailureKind;

constexpr std::uint32_t kNeutral = 0x0400;
constexpr std::uint32_t kUsEnglish = 0x0409;
constexpr std::int32_t kPackageNotFound = static_cast<std::int32_t>(0x80073CF1);
const ModuleHandle kKernel32 = reinterpret_cast<ModuleHandle>(0x7700);
const ProcedureAddress kIsWow64Process2 = reinterpret_cast<ProcedureAddress>(0x7710);

std::u16string Upper(std::u16string text) {
    for (char16_t& unit : text) {
        unit = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    }
    return text;
}

std::u16string Widen(const char* text) {
    std::u16string wide;
    for (; text != nullptr && *text != '\0'; ++text) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

std::u16string Text(const char16_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

std::vector<std::uint8_t> Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// What the bridge raises when a platform call fails: its kind of hresult_error, with the message.
[[noreturn]] void RaiseHresult(std::int32_t status) {
    winrt::throw_hresult(status, FakePlatform::SystemText(static_cast<std::uint32_t>(status), kNeutral));
}

class FakeUser final : public PackageUserInformation {
  public:
    FakeUser(FakePlatform& platform, scenarios::UserEntry entry)
        : platform_(platform), entry_(std::move(entry)) {}
    std::int32_t InstallState() const override { return platform_.InstallStateOf(entry_); }

  private:
    FakePlatform& platform_;
    scenarios::UserEntry entry_;
};

}  // namespace

std::u16string ThirtyTwoBitPath(const std::u16string& path) {
    const std::u16string software = u"HKLM\\SOFTWARE\\";
    if (Upper(path.substr(0, software.size())) != software ||
        Upper(path).starts_with(u"HKLM\\SOFTWARE\\WOW6432NODE")) {
        return path;
    }
    return path.substr(0, software.size()) + u"Wow6432Node\\" + path.substr(software.size());
}

std::vector<std::pair<std::u16string, std::u16string>> DecodeForm(const std::u16string& body) {
    const auto unescape = [](std::u16string_view text) {
        std::u16string plain;
        for (std::size_t index = 0; index < text.size(); ++index) {
            const std::u16string_view code = text.substr(index, 3);
            const char16_t escaped = code == u"%25"   ? u'%'
                                     : code == u"%26" ? u'&'
                                     : code == u"%3D" ? u'='
                                     : code == u"%2B" ? u'+'
                                                      : 0;
            plain.push_back(escaped != 0 ? escaped : text[index]);
            index += escaped != 0 ? 2 : 0;
        }
        return plain;
    };
    std::vector<std::pair<std::u16string, std::u16string>> fields;
    std::u16string_view rest = body;
    while (true) {
        const std::u16string_view pair = rest.substr(0, rest.find(u'&'));
        const std::size_t equals = pair.find(u'=');
        fields.emplace_back(unescape(pair.substr(0, equals)),
                            equals == std::u16string::npos ? u"<no =>" : unescape(pair.substr(equals + 1)));
        if (pair.size() == rest.size()) {
            return fields;
        }
        rest.remove_prefix(pair.size() + 1);
    }
}

FakePlatform::FakePlatform() {
    CreateKey(u"HKCU\\Software");
    SetValue(ThirtyTwoBitPath(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), u"UBR",
             {kRegDword, {0xDB, 0x0E, 0, 0}});
}

FakePlatform::FakePlatform(const scenarios::Scenario& scenario) : FakePlatform() {
    const std::u16string clients = u"\\Software\\HalvernUpdate\\Update\\Clients\\";
    for (const auto& registration : scenario.registrations) {
        std::u16string key = registration.hive == "HKCU" ? u"HKCU" + clients + registration.app_id
                                                         : u"HKLM" + clients + registration.app_id;
        key = registration.hive == "HKLM" ? ThirtyTwoBitPath(key) : key;
        CreateKey(key);
        for (const auto& value : registration.values) {
            const std::vector<std::uint8_t> dword(reinterpret_cast<const std::uint8_t*>(&value.number),
                                                  reinterpret_cast<const std::uint8_t*>(&value.number) + 4);
            value.type == kRegSz ? SetString(key, value.name, value.text)
                                 : SetValue(key, value.name, {value.type, dword});
        }
        if (registration.has_subkey) {
            CreateKey(key + u"\\Commands");
        }
    }
    if (scenario.machine_uid) {
        SetString(ThirtyTwoBitPath(u"HKLM\\Software\\HalvernUpdate\\Update"), u"uid", *scenario.machine_uid);
    }
    if (scenario.user_uid) {
        SetString(u"HKCU\\Software\\HalvernUpdate\\Update", u"uid", *scenario.user_uid);
    }
    world = scenario;
    failures_ = scenario.failures;
    sink_status = scenario.sink_status;
    for (const auto& argument : scenario.arguments) {
        command_line += u" " + argument;
        arguments->push_back(argument);
    }
}

std::u16string FakePlatform::KeyOf(const std::u16string& path) {
    return Upper(path);
}

// --- the machine -------------------------------------------------------------------------------------

void FakePlatform::CreateKey(const std::u16string& key_path) {
    for (std::size_t end = key_path.find(u'\\');; end = key_path.find(u'\\', end + 1)) {
        const std::u16string path = key_path.substr(0, end);
        keys.try_emplace(Upper(path), FakeKey{path.substr(path.rfind(u'\\') + 1), {}});
        if (end == std::u16string::npos) {
            return;
        }
    }
}

void FakePlatform::SetValue(const std::u16string& key_path, const std::u16string& name, FakeValue value) {
    CreateKey(key_path);
    keys[Upper(key_path)].values.emplace_back(name, std::move(value));
}

void FakePlatform::SetString(const std::u16string& key_path, const std::u16string& name,
                             const std::u16string& text) {
    SetValue(key_path, name, {kRegSz, Bytes(text + u'\0')});
}

void FakePlatform::Fail(std::string call, std::int32_t status, int nth, FailureKind kind) {
    failures_.push_back({std::move(call), kind, status, nth});
}

std::optional<std::int32_t> FakePlatform::Injected(const std::string& call) {
    const int count = ++counts_[call];
    for (const auto& failure : failures_) {
        if (failure.call == call && (failure.nth == 0 || failure.nth == count)) {
            if (failure.kind == FailureKind::BadAlloc) {
                throw std::bad_alloc();
            }
            return failure.status;
        }
    }
    return std::nullopt;
}

bool FakePlatform::FailedWin32(const std::string& call) {
    const auto status = Injected(call);
    last_error_ = status ? static_cast<std::uint32_t>(*status) : last_error_;
    return status.has_value();
}

std::u16string FakePlatform::SystemText(std::uint32_t id, std::uint32_t language) {
    const std::string number = std::to_string(id);
    return (language == kUsEnglish ? u"US text of " : u"Neutral text of ") +
           std::u16string(number.begin(), number.end()) + u".\r\n";
}

// --- debug output, command line, messages -----------------------------------------------------------

void FakePlatform::OutputDebugStringW(const char16_t* text) {
    lines.emplace_back(text);
}

std::u16string FakePlatform::GetCommandLineW() {
    return command_line;
}

std::optional<std::vector<std::u16string>> FakePlatform::CommandLineToArgvW(const std::u16string& line) {
    return line == command_line && !Injected("CommandLineToArgvW") ? arguments : std::nullopt;
}

std::optional<std::u16string> FakePlatform::FormatMessageW(std::uint32_t message_id,
                                                           std::uint32_t language_id) {
    if (Injected("FormatMessageW") || (language_id != kUsEnglish && language_id != kNeutral)) {
        return std::nullopt;
    }
    return SystemText(message_id, language_id);
}

// --- registry -----------------------------------------------------------------------------------------

std::optional<std::u16string> FakePlatform::PathOf(RegistryKeyHandle key) const {
    if (key == kHkeyLocalMachine || key == kHkeyCurrentUser) {
        return key == kHkeyLocalMachine ? u"HKLM" : u"HKCU";
    }
    const auto found = open_keys_.find(key);
    return found == open_keys_.end() ? std::nullopt : std::optional(found->second);
}

std::vector<std::u16string> FakePlatform::Subkeys(const std::u16string& path) const {
    std::vector<std::u16string> names;  // in the order Windows enumerates them: by name
    const std::u16string prefix = Upper(path) + u"\\";
    for (auto it = keys.lower_bound(prefix); it != keys.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.find(u'\\', prefix.size()) == std::u16string::npos) {
            names.push_back(it->second.name);
        }
    }
    return names;
}

LStatus FakePlatform::Open(RegistryKeyHandle key, const std::u16string& sub_key, std::uint32_t sam,
                           RegistryKeyHandle* result) {
    *result = kNoRegistryKey;
    const auto base = PathOf(key);
    if (!base) {
        return kErrorInvalidHandle;
    }
    std::u16string path = sub_key.empty() ? *base : *base + u"\\" + sub_key;
    while (path.ends_with(u'\\')) {
        path.pop_back();
    }
    path = (sam & kKeyWow64_32Key) != 0 ? ThirtyTwoBitPath(path) : path;
    if (!keys.contains(Upper(path))) {
        return kErrorFileNotFound;
    }
    *result = next_key_++;
    open_keys_[*result] = path;
    return kErrorSuccess;
}

LStatus FakePlatform::RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t,
                                    std::uint32_t sam_desired, RegistryKeyHandle* result) {
    const auto status = Injected("RegOpenKeyExA");
    return status ? (*result = kNoRegistryKey, *status) : Open(key, Widen(sub_key), sam_desired, result);
}

LStatus FakePlatform::RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key, std::uint32_t,
                                    std::uint32_t sam_desired, RegistryKeyHandle* result) {
    const auto status = Injected("RegOpenKeyExW");
    return status ? (*result = kNoRegistryKey, *status) : Open(key, Text(sub_key), sam_desired, result);
}

LStatus FakePlatform::RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) {
    const auto path = PathOf(key);
    if (const auto status = Injected("RegQueryInfoKeyW")) {
        return *status;
    }
    return path ? (*sub_keys = static_cast<std::uint32_t>(Subkeys(*path).size()), kErrorSuccess)
                : kErrorInvalidHandle;
}

LStatus FakePlatform::RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                                    std::uint32_t* name_length) {
    const auto path = PathOf(key);
    if (const auto status = Injected("RegEnumKeyExW")) {
        return *status;
    }
    if (!path) {
        return kErrorInvalidHandle;
    }
    const auto names = Subkeys(*path);
    if (index >= names.size()) {
        return kErrorNoMoreItems;
    }
    if (names[index].size() + 1 > *name_length) {
        return kErrorMoreData;
    }
    std::copy(names[index].begin(), names[index].end(), name);
    name[names[index].size()] = u'\0';
    *name_length = static_cast<std::uint32_t>(names[index].size());
    return kErrorSuccess;
}

LStatus FakePlatform::RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key, const char16_t* value,
                                   std::uint32_t flags, std::uint32_t* type, void* data,
                                   std::uint32_t* data_bytes) {
    if (const auto status = Injected("RegGetValueW")) {
        return *status;
    }
    const auto path = PathOf(key);
    if (!path || (sub_key != nullptr && *sub_key != u'\0')) {
        return path ? kErrorInvalidParameter : kErrorInvalidHandle;
    }
    const auto key_found = keys.find(Upper(*path));
    if (key_found == keys.end()) {
        return kErrorKeyDeleted;
    }
    const FakeKey& found = key_found->second;
    const auto named = std::find_if(found.values.begin(), found.values.end(), [&](const auto& entry) {
        return Upper(entry.first) == Upper(Text(value));
    });
    if (named == found.values.end()) {
        return kErrorFileNotFound;
    }
    const FakeValue& stored = named->second;
    const bool wanted = stored.type == kRegSz ? (flags & kRrfRtRegSz) != 0
                        : stored.type == kRegDword
                            ? (flags & kRrfRtRegDword) != 0
                            : stored.type == kRegBinary && (flags & kRrfRtRegBinary) != 0;
    if (!wanted) {
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
    if (type != nullptr) {
        *type = stored.type;
    }
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr && *data_bytes < needed) {
        *data_bytes = needed;
        return kErrorMoreData;
    }
    if (data != nullptr) {
        std::memcpy(data, bytes.data(), bytes.size());
    }
    *data_bytes = needed;
    return kErrorSuccess;
}

LStatus FakePlatform::RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) {
    if (const auto status = Injected("RegDeleteKeyW")) {
        return *status;
    }
    const auto base = PathOf(key);
    if (!base) {
        return kErrorInvalidHandle;
    }
    const std::u16string path = Text(sub_key).empty() ? *base : *base + u"\\" + Text(sub_key);
    if (!keys.contains(Upper(path))) {
        return kErrorFileNotFound;
    }
    if (!Subkeys(path).empty()) {
        return kErrorAccessDenied;
    }
    keys.erase(Upper(path));
    return kErrorSuccess;
}

LStatus FakePlatform::RegCloseKey(RegistryKeyHandle key) {
    return open_keys_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

// --- the package manager, as the bridge raises its failures ------------------------------------------

std::int32_t FakePlatform::InstallStateOf(const scenarios::UserEntry& entry) {
    calls.push_back(u"State " + entry.security_id);
    if (const auto status = Injected("get_InstallState")) {
        RaiseHresult(*status);
    }
    return entry.install_state;
}

void FakePlatform::Search(const std::string& call, const std::u16string& logged) {
    calls.push_back(logged);
    if (const auto status = Injected(call)) {
        throw MSIXException(
            SystemText(static_cast<std::uint32_t>(*status), kNeutral),
            call == "FindUsers" ? MSIXErrorCode::FindUsersFailure : MSIXErrorCode::FindPackagesFailure,
            *status);
    }
}

std::vector<PackageInfo> FakePlatform::Packages(const std::u16string& family, bool current_user_only) {
    std::vector<PackageInfo> found;
    for (const auto& package : world.packages) {
        if (package.family_name != family || (current_user_only && !package.current_user)) {
            continue;
        }
        const auto& v = package.version;
        PackageVersionText texts = FormatPackageVersion(v[0], v[1], v[2], v[3]);
        found.push_back({package.name, package.display_name, package.full_name, package.family_name,
                         texts.full_version, texts.version,
                         package.has_package8 ? package.installed_path : u"",
                         package.has_package8 && !package.external_path.empty()});
    }
    return found;
}

std::vector<PackageInfo> FakePlatform::FindPackagesForCurrentUser(const std::u16string& package_family_name) {
    Search("FindPackagesByUserSecurityIdPackageFamilyName", u"FindMine " + package_family_name);
    return Packages(package_family_name, true);
}

std::vector<PackageInfo> FakePlatform::FindPackagesForAllUsers(const std::u16string& package_family_name) {
    Search("FindPackagesByPackageFamilyName", u"FindAll " + package_family_name);
    return Packages(package_family_name, false);
}

std::vector<std::unique_ptr<PackageUserInformation>> FakePlatform::FindPackageUsers(
    const std::u16string& package_full_name) {
    Search("FindUsers", u"FindUsers " + package_full_name);
    std::vector<std::unique_ptr<PackageUserInformation>> users;
    for (const auto& package : world.packages) {
        if (package.full_name == package_full_name) {
            for (const auto& entry : package.users) {
                users.push_back(std::make_unique<FakeUser>(*this, entry));
            }
        }
    }
    return users;
}

void FakePlatform::RemovePackageForAllUsers(const std::u16string& package_full_name) {
    calls.push_back(u"Remove " + package_full_name);
    if (const auto status = Injected("RemovePackageWithOptionsAsync")) {
        RaiseHresult(*status);
    }
    if (!world.has_manager2) {
        RaiseHresult(winrt::hresults::kNoInterface);
    }
    const auto package = std::find_if(world.packages.begin(), world.packages.end(),
                                      [&](const auto& p) { return p.full_name == package_full_name; });
    const scenarios::Deployment* scripted = world.Removal(package_full_name);
    const scenarios::Deployment outcome =
        scripted ? *scripted
        : package == world.packages.end()
            ? scenarios::Deployment{package_full_name, kPackageNotFound, u"The package could not be found."}
            : scenarios::Deployment{};
    if (outcome.extended_error != 0) {
        throw MSIXException(outcome.error_text, MSIXErrorCode::PackageRemoveFailure, outcome.extended_error);
    }
    if (package != world.packages.end()) {
        world.packages.erase(package);
    }
}

void FakePlatform::DeprovisionForAllUsers(const std::u16string& package_family_name) {
    calls.push_back(u"Deprovision " + package_family_name);
    if (const auto status = Injected("DeprovisionPackageForAllUsersAsync")) {
        RaiseHresult(*status);
    }
    if (!world.has_manager8) {
        RaiseHresult(winrt::hresults::kNoInterface);
    }
    if (const scenarios::Deployment* outcome = world.Deprovisioning(package_family_name);
        outcome != nullptr && outcome->extended_error != 0) {
        throw MSIXException(outcome->error_text, MSIXErrorCode::PackageDeprovisionFailure,
                            outcome->extended_error);
    }
    deprovisioned.insert(package_family_name);
}

// --- WinHTTP --------------------------------------------------------------------------------------------

InternetHandle FakePlatform::NewHandle(const std::string& kind, InternetHandle parent) {
    const auto handle = reinterpret_cast<InternetHandle>(next_internet_++);
    internet_[handle] = {kind, parent == nullptr ? FakeRequest{} : internet_.at(parent).request};
    return handle;
}

InternetHandle FakePlatform::WinHttpOpen(const char16_t* agent, std::uint32_t access_type, const char16_t*,
                                         const char16_t*, std::uint32_t flags) {
    if (FailedWin32("WinHttpOpen")) {
        return nullptr;
    }
    const InternetHandle session = NewHandle("session", nullptr);
    internet_[session].request.agent = Text(agent);
    internet_[session].request.access_type = access_type;
    internet_[session].request.flags = flags;
    return session;
}

InternetHandle FakePlatform::WinHttpConnect(InternetHandle session, const char16_t* server_name,
                                            std::uint16_t server_port, std::uint32_t) {
    if (FailedWin32("WinHttpConnect") || !internet_.contains(session)) {
        return nullptr;
    }
    const InternetHandle connection = NewHandle("connection", session);
    internet_[connection].request.host = Text(server_name);
    internet_[connection].request.port = server_port;
    return connection;
}

InternetHandle FakePlatform::WinHttpOpenRequest(InternetHandle connection, const char16_t* verb,
                                                const char16_t* object_name, const char16_t*, const char16_t*,
                                                const char16_t* const*, std::uint32_t flags) {
    if (FailedWin32("WinHttpOpenRequest") || !internet_.contains(connection)) {
        return nullptr;
    }
    const InternetHandle request = NewHandle("request", connection);
    internet_[request].request.verb = Text(verb);
    internet_[request].request.path = Text(object_name);
    internet_[request].request.flags = flags;
    return request;
}

bool FakePlatform::WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers,
                                            std::uint32_t headers_length, std::uint32_t modifiers) {
    if (FailedWin32("WinHttpAddRequestHeaders")) {
        return false;
    }
    const std::u16string text =
        headers_length == winhttp::kNulTerminated ? Text(headers) : std::u16string(headers, headers_length);
    internet_.at(request).request.headers +=
        text + (modifiers == winhttp::kAddRequestFlagAdd ? u"" : u" (?)");
    return true;
}

bool FakePlatform::WinHttpSendRequest(InternetHandle request, const char16_t*, std::uint32_t,
                                      const void* optional, std::uint32_t optional_length,
                                      std::uint32_t total_length, std::uintptr_t) {
    if (FailedWin32("WinHttpSendRequest")) {
        return false;
    }
    FakeRequest sent = internet_.at(request).request;
    const auto* bytes = static_cast<const std::uint8_t*>(optional);
    for (std::uint32_t index = 0; index + 1 < optional_length; index += 2) {
        sent.body.push_back(static_cast<char16_t>(bytes[index] | (bytes[index + 1] << 8)));
    }
    sent.body_whole = optional_length == total_length && optional_length == sent.body.size() * 2;
    requests.push_back(std::move(sent));
    return true;
}

bool FakePlatform::WinHttpReceiveResponse(InternetHandle, void*) {
    return !FailedWin32("WinHttpReceiveResponse");
}

bool FakePlatform::WinHttpQueryHeaders(InternetHandle, std::uint32_t info_level, const char16_t*,
                                       void* buffer, std::uint32_t* buffer_length, std::uint32_t*) {
    if (FailedWin32("WinHttpQueryHeaders")) {
        return false;
    }
    if (info_level != (winhttp::kQueryStatusCode | winhttp::kQueryFlagNumber) || *buffer_length != 4) {
        last_error_ = kErrorInvalidParameter;
        return false;
    }
    std::memcpy(buffer, &sink_status, 4);
    return true;
}

bool FakePlatform::WinHttpCloseHandle(InternetHandle handle) {
    const auto found = internet_.find(handle);
    if (found == internet_.end()) {
        return false;
    }
    closed.push_back(found->second.kind);
    internet_.erase(found);
    return true;
}

std::uint32_t FakePlatform::GetLastError() {
    return last_error_;
}

// --- host facts and clock ---------------------------------------------------------------------------

bool FakePlatform::GetVersionExW(OsVersionInfo* info) {
    if (FailedWin32("GetVersionExW")) {
        return false;
    }
    if (info->dwOSVersionInfoSize != sizeof(OsVersionInfo)) {
        last_error_ = 122;  // ERROR_INSUFFICIENT_BUFFER
        return false;
    }
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = 2;
    return true;
}

ModuleHandle FakePlatform::GetModuleHandleW(const char16_t* module_name) {
    return FailedWin32("GetModuleHandleW") || Upper(Text(module_name)) != u"KERNEL32" ? nullptr : kKernel32;
}

ProcedureAddress FakePlatform::GetProcAddress(ModuleHandle module, const char* procedure_name) {
    return FailedWin32("GetProcAddress") || module != kKernel32 ||
                   std::strcmp(procedure_name, "IsWow64Process2") != 0
               ? nullptr
               : kIsWow64Process2;
}

bool FakePlatform::IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                                   std::uint16_t* process_machine, std::uint16_t* native) {
    if (FailedWin32("IsWow64Process2") || is_wow64_process2 != kIsWow64Process2 ||
        process != GetCurrentProcess()) {
        return false;
    }
    *process_machine = 0;
    *native = native_machine;
    return true;
}

ProcessHandle FakePlatform::GetCurrentProcess() {
    return reinterpret_cast<ProcessHandle>(-1);
}

void FakePlatform::GetNativeSystemInfo(SystemInfo* info) {
    info->wProcessorArchitecture = system_architecture;
}

bool FakePlatform::GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime*, FileTime*,
                                   FileTime*) {
    if (FailedWin32("GetProcessTimes") || process != GetCurrentProcess()) {
        return false;
    }
    *creation_time = created;
    return true;
}

void FakePlatform::GetSystemTimeAsFileTime(FileTime* time) {
    *time = coarse_now;
}

void FakePlatform::GetSystemTimePreciseAsFileTime(FileTime* time) {
    *time = now;
}

}  // namespace halvern::testing
