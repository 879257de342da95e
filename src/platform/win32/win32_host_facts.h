#pragma once
// GetVersionExW, GetModuleHandleW, GetProcAddress and IsWow64Process2 through it, GetCurrentProcess,
// GetNativeSystemInfo, GetLastError (kernel32).

#include "platform/host_facts_api.h"

namespace halvern {

class Win32HostFacts final : public HostFactsApi {
  public:
    bool GetVersionExW(OsVersionInfo* info) override;
    ModuleHandle GetModuleHandleW(const char16_t* module_name) override;
    ProcedureAddress GetProcAddress(ModuleHandle module, const char* procedure_name) override;
    bool IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                         std::uint16_t* process_machine, std::uint16_t* native_machine) override;
    ProcessHandle GetCurrentProcess() override;
    void GetNativeSystemInfo(SystemInfo* info) override;
    std::uint32_t GetLastError() override;
};

}  // namespace halvern
