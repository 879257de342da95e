#pragma once
// Host facts the test decides: each query succeeds with its value or fails with an error number,
// IsWow64Process2 is exported or not, and every call is recorded in order.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_facts_api.h"

namespace halvern::testing {

class FakeHostFacts final : public HostFactsApi {
  public:
    struct Version {
        std::uint32_t major = 10;
        std::uint32_t minor = 0;
        std::uint32_t build = 19045;
    };

    std::optional<Version> version = Version{};  // nothing: GetVersionExW fails with version_error
    std::uint32_t version_error = 0;
    bool has_kernel32 = true;  // false: GetModuleHandleW fails with module_error
    std::uint32_t module_error = 0;
    bool exports_is_wow64_process2 = true;
    bool is_wow64_process2_succeeds = true;
    std::uint32_t is_wow64_process2_error = 0;
    std::uint16_t native_machine = 0x8664;
    std::uint16_t process_machine = 0;  // IMAGE_FILE_MACHINE_UNKNOWN: not a WOW64 process
    std::uint16_t native_system_architecture = 9;

    std::vector<std::u16string> calls;
    std::uint32_t version_info_size = 0;  // the size GetVersionExW was given
    std::u16string module_name;
    std::string procedure_name;
    bool outputs_zeroed = false;  // IsWow64Process2's outputs were 0 when it was called
    bool called_for_current_process = false;

    bool GetVersionExW(OsVersionInfo* info) override {
        calls.push_back(u"GetVersionExW");
        version_info_size = info->dwOSVersionInfoSize;
        if (!version || info->dwOSVersionInfoSize != sizeof(OsVersionInfo)) {
            // A wrong size is ERROR_INSUFFICIENT_BUFFER on Windows.
            last_error_ = version ? 122 : version_error;
            return false;
        }
        info->dwMajorVersion = version->major;
        info->dwMinorVersion = version->minor;
        info->dwBuildNumber = version->build;
        info->dwPlatformId = 2;  // VER_PLATFORM_WIN32_NT
        return true;
    }

    ModuleHandle GetModuleHandleW(const char16_t* name) override {
        calls.push_back(u"GetModuleHandleW");
        module_name = name;
        if (!has_kernel32) {
            last_error_ = module_error;
            return nullptr;
        }
        return kKernel32;
    }

    ProcedureAddress GetProcAddress(ModuleHandle module, const char* name) override {
        calls.push_back(u"GetProcAddress");
        procedure_name = name;
        if (module != kKernel32 || !exports_is_wow64_process2 || procedure_name != "IsWow64Process2") {
            last_error_ = 127;  // ERROR_PROC_NOT_FOUND
            return nullptr;
        }
        return kIsWow64Process2;
    }

    bool IsWow64Process2(ProcedureAddress procedure, ProcessHandle process, std::uint16_t* process_out,
                         std::uint16_t* native_out) override {
        calls.push_back(u"IsWow64Process2");
        if (procedure != kIsWow64Process2) {
            last_error_ = 998;  // ERROR_NOACCESS: a call through a pointer that is not the function
            return false;
        }
        outputs_zeroed = *process_out == 0 && *native_out == 0;
        called_for_current_process = process == kCurrentProcess;
        if (!is_wow64_process2_succeeds) {
            last_error_ = is_wow64_process2_error;
            return false;
        }
        *process_out = process_machine;
        *native_out = native_machine;
        return true;
    }

    ProcessHandle GetCurrentProcess() override {
        calls.push_back(u"GetCurrentProcess");
        return kCurrentProcess;
    }

    void GetNativeSystemInfo(SystemInfo* info) override {
        calls.push_back(u"GetNativeSystemInfo");
        info->wProcessorArchitecture = native_system_architecture;
    }

    std::uint32_t GetLastError() override { return last_error_; }

  private:
    static inline const ModuleHandle kKernel32 = reinterpret_cast<ModuleHandle>(std::uintptr_t{0x7ff0000});
    static inline const ProcedureAddress kIsWow64Process2 =
        reinterpret_cast<ProcedureAddress>(std::uintptr_t{0x7ff1230});
    // The pseudo handle GetCurrentProcess returns, (HANDLE)-1.
    static inline const ProcessHandle kCurrentProcess = reinterpret_cast<ProcessHandle>(~std::uintptr_t{0});

    std::uint32_t last_error_ = 0;
};

}  // namespace halvern::testing
