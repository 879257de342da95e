#pragma once
// The test package manager from a test's side: a scenario file and call log in a fresh temporary folder,
// named to the component through HALVERN_TEST_PM_SCENARIO and HALVERN_TEST_PM_LOG.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace halvern::testing {

class TestPackageManager {
  public:
    TestPackageManager() {
        static int serial = 0;
        folder_ = std::filesystem::temp_directory_path() /
                  ("halvern_pm_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++serial));
        std::filesystem::create_directories(folder_);
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_SCENARIO", (folder_ / "scenario.txt").c_str());
        ::SetEnvironmentVariableW(L"HALVERN_TEST_PM_LOG", (folder_ / "calls.log").c_str());
    }
    ~TestPackageManager() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TestPackageManager(const TestPackageManager&) = delete;
    TestPackageManager& operator=(const TestPackageManager&) = delete;

    // Replaces the scenario (tests/scenarios/README.md).
    void Scenario(const std::string& text) const {
        std::ofstream(folder_ / "scenario.txt", std::ios::binary) << text;
    }

    // Every call logged so far whose line starts with the text.
    std::vector<std::string> Calls(const std::string& start = {}) const {
        std::ifstream log(folder_ / "calls.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            if (line.starts_with(start)) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    // The component's objects still alive in this process (-1 before the component is loaded).
    static long LiveObjects() {
        const HMODULE module = ::GetModuleHandleW(L"HalvernTestPackageManager.dll");
        const auto counter = reinterpret_cast<long(WINAPI*)()>(
            module ? reinterpret_cast<void*>(::GetProcAddress(module, "HalvernTestPmLiveObjects")) : nullptr);
        return counter == nullptr ? -1 : counter();
    }

  private:
    std::filesystem::path folder_;
};

}  // namespace halvern::testing
