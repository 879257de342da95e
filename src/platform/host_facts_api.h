#pragma once
// Seam for the host facts: GetVersionExW, GetModuleHandleW, GetProcAddress and a call through the
// "IsWow64Process2" it finds, GetCurrentProcess, GetNativeSystemInfo, and GetLastError.

#include <cstdint>

namespace halvern {

using ModuleHandle = void*;      // HMODULE
using ProcedureAddress = void*;  // FARPROC
using ProcessHandle = void*;     // HANDLE

// OSVERSIONINFOW, field for field.
struct OsVersionInfo {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char16_t szCSDVersion[128] = {};
};
static_assert(sizeof(OsVersionInfo) == 276, "OSVERSIONINFOW is 276 bytes");

// SYSTEM_INFO, field for field.
struct SystemInfo {
    std::uint16_t wProcessorArchitecture = 0;
    std::uint16_t wReserved = 0;
    std::uint32_t dwPageSize = 0;
    void* lpMinimumApplicationAddress = nullptr;
    void* lpMaximumApplicationAddress = nullptr;
    std::uintptr_t dwActiveProcessorMask = 0;
    std::uint32_t dwNumberOfProcessors = 0;
    std::uint32_t dwProcessorType = 0;
    std::uint32_t dwAllocationGranularity = 0;
    std::uint16_t wProcessorLevel = 0;
    std::uint16_t wProcessorRevision = 0;
};

class HostFactsApi {
  public:
    virtual ~HostFactsApi() = default;
    virtual bool GetVersionExW(OsVersionInfo* info) = 0;
    virtual ModuleHandle GetModuleHandleW(const char16_t* module_name) = 0;
    virtual ProcedureAddress GetProcAddress(ModuleHandle module, const char* procedure_name) = 0;
    // Calls the IsWow64Process2 that GetProcAddress returned.
    virtual bool IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                                 std::uint16_t* process_machine, std::uint16_t* native_machine) = 0;
    virtual ProcessHandle GetCurrentProcess() = 0;
    virtual void GetNativeSystemInfo(SystemInfo* info) = 0;
    virtual std::uint32_t GetLastError() = 0;
};

}  // namespace halvern
