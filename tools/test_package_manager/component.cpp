#include "component.h"

#include <cstdio>
#include <string_view>

#include "platform/win32/win32_handles.h"

namespace test_package_manager {
namespace {

using halvern::scenarios::Failure;
using halvern::scenarios::FailureKind;
using halvern::scenarios::Utf8;

// The call log of the latest scenario, for the leak report: never destroyed, as it is read while the
// process exits.
std::mutex& latest_log_mutex = *new std::mutex;
std::wstring& latest_log = *new std::wstring;

halvern::UniqueKernelHandle Open(const std::wstring& path, DWORD access, DWORD disposition) {
    const HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                                     : ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return halvern::UniqueKernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

bool ReadAll(const std::wstring& path, std::string& content) {
    const halvern::UniqueKernelHandle file = Open(path, GENERIC_READ, OPEN_EXISTING);
    char buffer[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return static_cast<bool>(file);
}

// The tests name files from the Linux side: "/tmp/x" is "Z:\tmp\x"; a Windows path stays as it is.
std::wstring WindowsPath(std::wstring path) {
    if (path.starts_with(L"/")) {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        path = L"Z:" + path;
    }
    return path;
}
std::wstring WindowsPath(const std::u16string& path) {
    return WindowsPath(std::wstring(path.begin(), path.end()));
}

std::wstring Environment(const wchar_t* name) {
    std::wstring value(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return WindowsPath(value);
}

}  // namespace

std::atomic<long> live_objects{0};

// One write to the end, so that the lines of several threads and processes never interleave.
void AppendLine(const std::wstring& path, const std::string& line) {
    const halvern::UniqueKernelHandle file = Open(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    const std::string bytes = line + "\n";
    DWORD written = 0;
    if (file) {
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

std::string Escaped(const std::u16string& text) {
    const std::u16string_view special(u"\0\\\"\n\r", 5);  // written as \0 \\ \" \n \r
    std::u16string escaped;
    for (const char16_t unit : text) {
        const std::size_t which = special.find(unit);
        escaped += which == special.npos ? std::u16string(1, unit) : std::u16string{u'\\', u"0\\\"nr"[which]};
    }
    return Utf8(escaped);
}

std::string Quoted(const std::u16string& text) {
    return " \"" + Escaped(text) + "\"";
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::u16string TextOf(abi::hstring text) {
    UINT32 length = 0;
    const wchar_t* buffer = ::WindowsGetStringRawBuffer(text, &length);
    return buffer == nullptr ? std::u16string() : std::u16string(buffer, buffer + length);
}

// Calls are counted over the process, as the native runner counts them over a run, and start again from
// zero when the scenario changes (tests that load the component rewrite it between cases).
std::mutex counts_mutex;
std::string counted_scenario;
std::map<std::string, int> counts;

abi::hresult Session::Enter(const std::string& call, const std::string& arguments, bool* null_object) {
    int nth = 0;
    {
        std::lock_guard lock(counts_mutex);
        nth = ++counts[call];
    }
    const auto found = std::ranges::find_if(
        scenario.failures, [&](const auto& f) { return f.call == call && (f.nth == 0 || f.nth == nth); });
    const Failure failure = found == scenario.failures.end() ? Failure{call} : *found;
    const bool none = failure.kind == FailureKind::NullObject;
    // What this component cannot play: a failure only the native runner raises, or no object from a call
    // that hands back none.
    if (failure.kind == FailureKind::BadAlloc || (none && null_object == nullptr)) {
        Log("scenario error: " + call + (none ? " hands back no object" : " cannot raise bad_alloc"));
        return E_FAIL;
    }
    if (null_object != nullptr) {
        *null_object = none;
    }
    const std::string status =
        failure.status != S_OK ? " -> " + Hex(static_cast<std::uint32_t>(failure.status)) : "";
    Log(call + arguments + (none ? " -> null" : status));
    return failure.status;
}

std::shared_ptr<Session> LoadSession() {
    const std::wstring path = Environment(L"HALVERN_TEST_PM_SCENARIO");
    std::wstring log = Environment(L"HALVERN_TEST_PM_LOG");
    std::string text;
    std::string problem;
    std::vector<Scenario> scenarios;
    if (path.empty()) {
        problem = "HALVERN_TEST_PM_SCENARIO is not set";
    } else if (!ReadAll(path, text)) {
        problem = "cannot open " + Utf8(std::u16string(path.begin(), path.end()));
    } else if (halvern::scenarios::ParseScenarios(text, scenarios, problem)) {
        problem = scenarios.size() > 1 ? "more than one scenario" : "";
    }
    {
        std::lock_guard lock(counts_mutex);
        if (text != counted_scenario) {
            counted_scenario = text;
            counts.clear();
        }
    }
    if (!scenarios.empty() && !scenarios.back().log_path.empty()) {
        log = WindowsPath(scenarios.back().log_path);
    }
    {
        std::lock_guard lock(latest_log_mutex);
        latest_log = log;
    }
    if (!problem.empty()) {
        AppendLine(log, "scenario error: " + problem);
        ::OutputDebugStringA(("test package manager: " + problem + "\n").c_str());
        return nullptr;
    }
    Scenario scenario = scenarios.empty() ? Scenario{} : std::move(scenarios[0]);
    const std::wstring state =
        scenario.state_path.empty() ? path + L".state" : WindowsPath(scenario.state_path);
    // What earlier operations removed is gone; "deprovisioned" lines change no search.
    std::string done;
    ReadAll(state, done);
    for (std::string_view rest = done; !rest.empty();) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        if (line.starts_with("removed ")) {
            const std::u16string removed = halvern::scenarios::Unescaped(line.substr(8));
            std::erase_if(scenario.packages,
                          [&](const auto& package) { return package.full_name == removed; });
        }
    }
    return std::make_shared<Session>(std::move(scenario), log, state);
}

}  // namespace test_package_manager

// For leak checks in tests that load the component in-process.
extern "C" __declspec(dllexport) long WINAPI HalvernTestPmLiveObjects() {
    return test_package_manager::live_objects.load();
}

// At process exit every run proves that the tool released each object it was given.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    using namespace test_package_manager;
    if (reason == DLL_PROCESS_DETACH && live_objects.load() != 0) {
        AppendLine(latest_log, "leaked " + std::to_string(live_objects.load()) + " objects");
    }
    return TRUE;
}
