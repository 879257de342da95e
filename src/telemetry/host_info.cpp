#include "telemetry/host_info.h"

#include "common/debug_log.h"
#include "registry/registry_values.h"

namespace halvern {
namespace {

constexpr std::uint32_t kArchitectureIntel = 0;
constexpr std::uint32_t kArchitectureArm = 5;
constexpr std::uint32_t kArchitectureIa64 = 6;
constexpr std::uint32_t kArchitectureAmd64 = 9;
constexpr std::uint32_t kArchitectureArm64 = 12;

// IMAGE_FILE_MACHINE_* as IsWow64Process2 reports the native machine.
std::optional<std::uint32_t> ArchitectureOfMachine(std::uint16_t machine) {
    switch (machine) {
        case 0x014C:  // I386
            return kArchitectureIntel;
        case 0x01C0:  // ARM
        case 0x01C2:  // THUMB
        case 0x01C4:  // ARMNT
            return kArchitectureArm;
        case 0x8664:  // AMD64
            return kArchitectureAmd64;
        case 0xAA64:  // ARM64
            return kArchitectureArm64;
        default:
            return std::nullopt;
    }
}

}  // namespace

HostInfo QueryHostInfo(Platform& platform) {
    HostInfo info;
    OsVersionInfo version{};
    version.dwOSVersionInfoSize = sizeof(OsVersionInfo);
    if (platform.host.GetVersionExW(&version)) {
        info.major_version = version.dwMajorVersion;
        info.minor_version = version.dwMinorVersion;
        info.build_number = version.dwBuildNumber;
    } else {
        WriteDebugLine(platform.debug,
                       u"GetVersionEx failed with error " + DecimalText(platform.host.GetLastError()));
    }
    // The Windows version is the machine's: read from HKEY_LOCAL_MACHINE whatever the scope of the run.
    info.update_build_revision = ReadRegistryDword(
        platform.registry, Scope::Machine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\", u"UBR");
    info.processor_architecture = QueryProcessorArchitecture(platform.host, platform.debug);
    return info;
}

std::optional<std::uint32_t> QueryProcessorArchitecture(HostFactsApi& host, DebugOutputApi& debug) {
    const ModuleHandle kernel32 = host.GetModuleHandleW(u"kernel32");
    if (kernel32 == nullptr) {
        WriteDebugLine(
            debug, u"GetModuleHandleW failed to get kernel32 with error " + DecimalText(host.GetLastError()));
        return std::nullopt;
    }
    if (const ProcedureAddress is_wow64_process2 = host.GetProcAddress(kernel32, "IsWow64Process2")) {
        std::uint16_t process_machine = 0;
        std::uint16_t native_machine = 0;
        if (host.IsWow64Process2(is_wow64_process2, host.GetCurrentProcess(), &process_machine,
                                 &native_machine)) {
            if (const auto code = ArchitectureOfMachine(native_machine)) {
                return code;
            }
        }
    }
    SystemInfo system{};
    host.GetNativeSystemInfo(&system);
    return system.wProcessorArchitecture;
}

std::u16string ArchitectureName(std::uint32_t code) {
    switch (code) {
        case kArchitectureIntel:
            return u"x86";
        case kArchitectureArm:
            return u"arm32";
        case kArchitectureIa64:
            return u"IA64";
        case kArchitectureAmd64:
            return u"x64";
        case kArchitectureArm64:
            return u"arm64";
        default:
            return u"unknown";
    }
}

std::optional<std::u16string> OsVersionText(const HostInfo& info) {
    if (!info.major_version) {
        return std::nullopt;
    }
    std::u16string text = DecimalText(*info.major_version);
    for (const auto& part : {info.minor_version, info.build_number, info.update_build_revision}) {
        if (!part) {
            break;
        }
        text += u'.';
        text += DecimalText(*part);
    }
    return text;
}

}  // namespace halvern
