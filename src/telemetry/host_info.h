#pragma once
// The Windows version and processor architecture every event carries, queried afresh each time.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/debug_output_api.h"
#include "platform/host_facts_api.h"
#include "platform/platform.h"

namespace halvern {

struct HostInfo {
    std::optional<std::uint32_t> major_version;
    std::optional<std::uint32_t> minor_version;
    std::optional<std::uint32_t> build_number;
    std::optional<std::uint32_t> update_build_revision;
    std::optional<std::uint32_t> processor_architecture;

    friend bool operator==(const HostInfo&, const HostInfo&) = default;
};

// GetVersionExW, the "UBR" registry value and QueryProcessorArchitecture. A failing call writes its
// line to the diagnostic log and leaves its facts absent.
HostInfo QueryHostInfo(Platform& platform);

// A PROCESSOR_ARCHITECTURE_* code: the native machine from IsWow64Process2 where it is exported and
// knows the machine, else GetNativeSystemInfo's. Absent when kernel32 cannot be found.
std::optional<std::uint32_t> QueryProcessorArchitecture(HostFactsApi& host, DebugOutputApi& debug);

// "x86", "arm32", "IA64", "x64", "arm64", or "unknown" for any other code.
std::u16string ArchitectureName(std::uint32_t code);

// "major.minor.build[.revision]"; absent without a major version.
std::optional<std::u16string> OsVersionText(const HostInfo& info);

}  // namespace halvern
