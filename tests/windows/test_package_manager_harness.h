#pragma once
// The test package manager from a test's side: a scenario file and call log in a fresh temporary
// folder, named to the component through HALVERN_TEST_PM_SCENARIO and HALVERN_TEST_PM_LOG.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"

namespace halvern::testing {

struct FileHandleTraits {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    void close(handle_type handle) const noexcept { ::CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

class TestPackageManager {
  public:
    TestPackageManager() {
        wchar_t base[MAX_PATH];
        ::GetTempPathW(MAX_PATH, base);
        static int serial = 0;
        folder_ = std::wstring(base) + L"halvern_pm_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                  std::to_wstring(++serial);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        scenario_ = folder_ + L"\\scenario.txt";
        log_ = folder_ + L"\\calls.log";
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_SCENARIO", scenario_.c_str());
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_LOG", log_.c_str());
    }
    ~TestPackageManager() {
        for (const std::wstring& file : {scenario_, scenario_ + L".state", log_}) {
            ::DeleteFileW(file.c_str());
        }
        ::RemoveDirectoryW(folder_.c_str());
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_SCENARIO", nullptr);
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_LOG", nullptr);
    }
    TestPackageManager(const TestPackageManager&) = delete;
    TestPackageManager& operator=(const TestPackageManager&) = delete;

    // Replaces the scenario (UTF-8 lines, see tools/test_package_manager/README.md).
    void Scenario(const std::string& text) const { Write(scenario_, text); }

    // Every call logged so far, one line each.
    std::vector<std::string> Calls() const { return Lines(log_); }
    // The state file: what removals and deprovisionings have done.
    std::vector<std::string> State() const { return Lines(scenario_ + L".state"); }

    // Calls whose line starts with the text.
    std::vector<std::string> CallsStartingWith(const std::string& start) const {
        std::vector<std::string> found;
        for (const std::string& line : Calls()) {
            if (line.rfind(start, 0) == 0) {
                found.push_back(line);
            }
        }
        return found;
    }

    // The component's objects still alive in this process (-1 before the component is loaded).
    static long LiveObjects() {
        const HMODULE module = ::GetModuleHandleW(L"HalvernTestPackageManager.dll");
        if (module == nullptr) {
            return -1;
        }
        using Counter = long(WINAPI*)();
        const auto counter = reinterpret_cast<Counter>(
            reinterpret_cast<void*>(::GetProcAddress(module, "HalvernTestPmLiveObjects")));
        return counter == nullptr ? -1 : counter();
    }

  private:
    static void Write(const std::wstring& path, const std::string& text) {
        const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    static std::vector<std::string> Lines(const std::wstring& path) {
        const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        std::vector<std::string> lines;
        if (!file) {
            return lines;
        }
        std::string content;
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            content.append(buffer, read);
        }
        std::size_t start = 0;
        for (std::size_t end = content.find('\n'); end != std::string::npos;
             end = content.find('\n', start)) {
            lines.push_back(content.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    std::wstring folder_;
    std::wstring scenario_;
    std::wstring log_;
};

}  // namespace halvern::testing
