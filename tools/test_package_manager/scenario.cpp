#include "scenario.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace test_package_manager {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length,
                          nullptr, nullptr);
    return result;
}

std::wstring Unescaped(const std::wstring& text) {
    std::wstring result;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != L'\\' || index + 1 == text.size()) {
            result.push_back(text[index]);
            continue;
        }
        const wchar_t next = text[++index];
        switch (next) {
            case L'0':
                result.push_back(L'\0');
                break;
            case L'n':
                result.push_back(L'\n');
                break;
            case L'r':
                result.push_back(L'\r');
                break;
            case L't':
                result.push_back(L'\t');
                break;
            case L'\\':
                result.push_back(L'\\');
                break;
            default:
                // Any other backslash is itself, so Windows paths need no escaping.
                result.push_back(L'\\');
                result.push_back(next);
        }
    }
    return result;
}

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

bool ParseNumber(const std::wstring& text, long long& value) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    const bool negative = text[0] == L'-';
    value = static_cast<long long>(std::wcstoull(text.c_str() + (negative ? 1 : 0), &end, 0));
    if (negative) {
        value = -value;
    }
    return end != nullptr && *end == L'\0';
}

// "key rest of line": the rest may be empty and keeps its spaces.
void SplitKey(const std::wstring& line, std::wstring& key, std::wstring& rest) {
    const std::size_t space = line.find(L' ');
    key = line.substr(0, space);
    rest = space == std::wstring::npos ? std::wstring() : line.substr(space + 1);
}

class Parser {
  public:
    explicit Parser(Scenario& scenario) : scenario_(scenario) {}

    bool Line(const std::wstring& raw, std::wstring& problem) {
        std::wstring line = raw;
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == L'#') {
            return true;
        }
        std::wstring key;
        std::wstring rest;
        SplitKey(line, key, rest);
        if (Global(key, rest) || PackageKey(key, rest)) {
            return true;
        }
        problem = L"cannot read \"" + line + L"\"";
        return false;
    }

  private:
    bool Global(const std::wstring& key, const std::wstring& rest) {
        if (key == L"log") {
            scenario_.log_path = WindowsPath(rest);
        } else if (key == L"state") {
            scenario_.state_path = WindowsPath(rest);
        } else if (key == L"completion" && (rest == L"now" || rest == L"later")) {
            scenario_.complete_later = rest == L"later";
        } else if (key == L"agile" && (rest == L"0" || rest == L"1")) {
            scenario_.agile_factory = rest == L"1";
        } else if (key == L"no_interface" && rest == L"IPackageManager2") {
            scenario_.has_manager2 = false;
        } else if (key == L"no_interface" && rest == L"IPackageManager8") {
            scenario_.has_manager8 = false;
        } else if (key == L"package" && !rest.empty()) {
            scenario_.packages.push_back(DefaultPackage(Unescaped(rest)));
        } else if (key == L"remove" || key == L"deprovision") {
            return Outcome(key == L"remove" ? scenario_.removals : scenario_.deprovisionings, rest);
        } else if (key == L"fail") {
            return Failure(rest);
        } else if (key == L"null") {
            return NullObject(rest);
        } else {
            return false;
        }
        return true;
    }

    bool PackageKey(const std::wstring& key, const std::wstring& rest) {
        if (scenario_.packages.empty()) {
            return false;
        }
        PackageEntry& package = scenario_.packages.back();
        if (key == L"family") {
            package.family_name = Unescaped(rest);
        } else if (key == L"name") {
            package.name = Unescaped(rest);
        } else if (key == L"display") {
            package.display_name = Unescaped(rest);
        } else if (key == L"path") {
            package.installed_path = Unescaped(rest);
        } else if (key == L"external") {
            package.external_path = Unescaped(rest);
        } else if (key == L"current_user" && rest.empty()) {
            package.current_user = true;
        } else if (key == L"no_interface" && (rest == L"IPackage2" || rest == L"IPackage8")) {
            (rest == L"IPackage2" ? package.has_package2 : package.has_package8) = false;
        } else if (key == L"version") {
            return Version(package, rest);
        } else if (key == L"user") {
            std::wstring security_id;
            std::wstring state;
            SplitKey(rest, security_id, state);
            long long value = 0;
            if (security_id.empty() || !ParseNumber(state, value)) {
                return false;
            }
            package.users.push_back({security_id, static_cast<std::int32_t>(value)});
        } else {
            return false;
        }
        return true;
    }

    static PackageEntry DefaultPackage(const std::wstring& full_name) {
        // Name_Version_Architecture_ResourceId_PublisherId; the family is Name_PublisherId.
        PackageEntry package;
        package.full_name = full_name;
        package.name = full_name.substr(0, full_name.find(L'_'));
        const std::size_t last = full_name.rfind(L'_');
        package.family_name = package.name + (last == std::wstring::npos ? L"" : full_name.substr(last));
        return package;
    }

    static bool Version(PackageEntry& package, const std::wstring& text) {
        std::wstringstream parts(text);
        std::wstring part;
        for (int index = 0; index < 4; ++index) {
            long long value = 0;
            if (!std::getline(parts, part, L'.') || !ParseNumber(part, value) || value < 0 ||
                value > 0xFFFF) {
                return false;
            }
            package.version[index] = static_cast<std::uint16_t>(value);
        }
        return parts.eof();
    }

    static bool Outcome(std::vector<DeploymentOutcome>& outcomes, const std::wstring& rest) {
        std::wstring target;
        std::wstring after;
        SplitKey(rest, target, after);
        std::wstring code;
        std::wstring text;
        SplitKey(after, code, text);
        long long value = 0;
        if (target.empty() || !ParseNumber(code, value)) {
            return false;
        }
        outcomes.push_back({Unescaped(target), static_cast<std::int32_t>(value), Unescaped(text)});
        return true;
    }

    bool Failure(const std::wstring& rest) {
        std::wstring call;
        std::wstring after;
        SplitKey(rest, call, after);
        std::wstring status;
        std::wstring nth;
        SplitKey(after, status, nth);
        long long code = 0;
        long long count = 0;
        if (call.empty() || !ParseNumber(status, code) || (!nth.empty() && !ParseNumber(nth, count))) {
            return false;
        }
        scenario_.failures.push_back(
            {Narrow(call), static_cast<std::int32_t>(code), static_cast<int>(count)});
        return true;
    }

    // "null <call> [<n>]", for the calls that hand back an object.
    bool NullObject(const std::wstring& rest) {
        static const wchar_t* const kObjectCalls[] = {L"ActivateInstance",
                                                      L"FindPackagesByPackageFamilyName",
                                                      L"FindPackagesByUserSecurityIdPackageFamilyName",
                                                      L"FindUsers",
                                                      L"First",
                                                      L"get_Current",
                                                      L"get_Id",
                                                      L"RemovePackageWithOptionsAsync",
                                                      L"DeprovisionPackageForAllUsersAsync",
                                                      L"GetResults"};
        std::wstring call;
        std::wstring nth;
        SplitKey(rest, call, nth);
        long long count = 0;
        if (std::find(std::begin(kObjectCalls), std::end(kObjectCalls), call) == std::end(kObjectCalls) ||
            (!nth.empty() && !ParseNumber(nth, count))) {
            return false;
        }
        scenario_.failures.push_back({Narrow(call), S_OK, static_cast<int>(count), true});
        return true;
    }

    Scenario& scenario_;
};

struct OwnedFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    explicit OwnedFile(HANDLE h) : handle(h) {}
    ~OwnedFile() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
};

bool ReadLines(const std::wstring& path, std::vector<std::wstring>& lines) {
    const OwnedFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.handle, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    std::istringstream stream(content);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(Widen(line));
    }
    return true;
}

void ApplyState(Scenario& scenario) {
    std::vector<std::wstring> lines;
    if (!ReadLines(scenario.state_path, lines)) {
        return;  // nothing happened yet
    }
    for (const std::wstring& line : lines) {
        std::wstring key;
        std::wstring target;
        SplitKey(line, key, target);
        target = Unescaped(target);
        if (key == L"removed") {
            std::erase_if(scenario.packages,
                          [&](const PackageEntry& package) { return package.full_name == target; });
        } else if (key == L"deprovisioned") {
            scenario.deprovisioned.push_back(target);
        }
    }
}

}  // namespace

const DeploymentOutcome* Scenario::Removal(const std::wstring& full_name) const {
    for (const DeploymentOutcome& outcome : removals) {
        if (outcome.target == full_name) {
            return &outcome;
        }
    }
    return nullptr;
}

const DeploymentOutcome* Scenario::Deprovisioning(const std::wstring& family_name) const {
    for (const DeploymentOutcome& outcome : deprovisionings) {
        if (outcome.target == family_name) {
            return &outcome;
        }
    }
    return nullptr;
}

std::wstring WindowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path) {
            c = c == L'/' ? L'\\' : c;
        }
        path = L"Z:" + path;
    }
    return path;
}

bool LoadScenario(Scenario& scenario, std::wstring& problem) {
    const std::wstring path = WindowsPath(EnvironmentValue(L"HALVERN_TEST_PM_SCENARIO"));
    scenario.log_path = WindowsPath(EnvironmentValue(L"HALVERN_TEST_PM_LOG"));
    if (path.empty()) {
        problem = L"HALVERN_TEST_PM_SCENARIO is not set";
        return false;
    }
    scenario.state_path = path + L".state";
    std::vector<std::wstring> lines;
    if (!ReadLines(path, lines)) {
        problem = L"cannot open " + path;
        return false;
    }
    Parser parser(scenario);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (!parser.Line(lines[index], problem)) {
            problem = L"line " + std::to_wstring(index + 1) + L": " + problem;
            return false;
        }
    }
    ApplyState(scenario);
    return true;
}

void AppendLine(const std::wstring& path, const std::wstring& line) {
    if (path.empty()) {
        return;
    }
    // Appending is one write to the end, so lines of several threads and processes never interleave.
    const OwnedFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string bytes = Narrow(line) + "\n";
    DWORD written = 0;
    ::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Escaped(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        switch (c) {
            case L'\0':
                result += L"\\0";
                break;
            case L'\\':
                result += L"\\\\";
                break;
            case L'"':
                result += L"\\\"";
                break;
            case L'\n':
                result += L"\\n";
                break;
            case L'\r':
                result += L"\\r";
                break;
            default:
                result.push_back(c);
        }
    }
    return result;
}

}  // namespace test_package_manager
