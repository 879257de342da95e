#include "platform/win32/win32_host_facts.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/wide_text.h"

namespace halvern {
namespace {

static_assert(sizeof(OSVERSIONINFOW) == sizeof(OsVersionInfo));

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

}  // namespace

bool Win32HostFacts::GetVersionExW(OsVersionInfo* info) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated, but the version it reports is what we want to send
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL succeeded = ::GetVersionExW(&version);
#if !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
    if (!succeeded) {
        return false;
    }
    info->dwMajorVersion = version.dwMajorVersion;
    info->dwMinorVersion = version.dwMinorVersion;
    info->dwBuildNumber = version.dwBuildNumber;
    info->dwPlatformId = version.dwPlatformId;
    std::memcpy(info->szCSDVersion, version.szCSDVersion, sizeof(info->szCSDVersion));
    return true;
}

ModuleHandle Win32HostFacts::GetModuleHandleW(const char16_t* module_name) {
    return ::GetModuleHandleW(AsWide(module_name));
}

ProcedureAddress Win32HostFacts::GetProcAddress(ModuleHandle module, const char* procedure_name) {
    return reinterpret_cast<ProcedureAddress>(::GetProcAddress(static_cast<HMODULE>(module), procedure_name));
}

bool Win32HostFacts::IsWow64Process2(ProcedureAddress is_wow64_process2, ProcessHandle process,
                                     std::uint16_t* process_machine, std::uint16_t* native_machine) {
    const auto function = reinterpret_cast<IsWow64Process2Function>(is_wow64_process2);
    return function(process, process_machine, native_machine) != FALSE;
}

ProcessHandle Win32HostFacts::GetCurrentProcess() {
    return ::GetCurrentProcess();
}

void Win32HostFacts::GetNativeSystemInfo(SystemInfo* info) {
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    info->wProcessorArchitecture = system.wProcessorArchitecture;
    info->wReserved = system.wReserved;
    info->dwPageSize = system.dwPageSize;
    info->lpMinimumApplicationAddress = system.lpMinimumApplicationAddress;
    info->lpMaximumApplicationAddress = system.lpMaximumApplicationAddress;
    info->dwActiveProcessorMask = system.dwActiveProcessorMask;
    info->dwNumberOfProcessors = system.dwNumberOfProcessors;
    info->dwProcessorType = system.dwProcessorType;
    info->dwAllocationGranularity = system.dwAllocationGranularity;
    info->wProcessorLevel = system.wProcessorLevel;
    info->wProcessorRevision = system.wProcessorRevision;
}

std::uint32_t Win32HostFacts::GetLastError() {
    return ::GetLastError();
}

}  // namespace halvern
