// Host facts and the event record from the real system: the prefix says Windows 10 and this
// program carries the tool's manifest, so GetVersionExW reports what the system really runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "fakes/fake_debug_output.h"
#include "fakes/uncalled_package_manager.h"
#include "platform/win32/win32_command_line.h"
#include "platform/win32/win32_host_facts.h"
#include "platform/win32/win32_process_clock.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_messages.h"
#include "platform/win32/win32_winhttp.h"
#include "platform/win32/wide_text.h"
#include "telemetry/host_info.h"
#include "telemetry/telemetry_event.h"
#include "windows/registry_planting.h"

namespace halvern {
namespace {

constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Sets or removes "UBR" in the 32-bit view for one test and puts back what was there before.
class RevisionValue {
  public:
    explicit RevisionValue(std::optional<DWORD> value)
        : key_(testing::CreateTestKey(HKEY_LOCAL_MACHINE, kCurrentVersionKey, testing::kView32)) {
        DWORD previous = 0;
        DWORD size = sizeof(previous);
        if (::RegGetValueW(key_.get(), nullptr, L"UBR", RRF_RT_REG_DWORD, nullptr, &previous, &size) ==
            ERROR_SUCCESS) {
            previous_ = previous;
        }
        Put(value);
    }
    ~RevisionValue() { Put(previous_); }
    RevisionValue(const RevisionValue&) = delete;
    RevisionValue& operator=(const RevisionValue&) = delete;

  private:
    void Put(std::optional<DWORD> value) {
        if (value) {
            EXPECT_EQ(::RegSetValueExW(key_.get(), L"UBR", 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD)),
                      ERROR_SUCCESS);
        } else {
            ::RegDeleteValueW(key_.get(), L"UBR");
        }
    }
    testing::TestKey key_;
    std::optional<DWORD> previous_;
};

// The version the system really runs, which no manifest changes.
RTL_OSVERSIONINFOW TrueVersion() {
    using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const auto rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
    EXPECT_NE(rtl_get_version, nullptr);
    if (rtl_get_version != nullptr) {
        rtl_get_version(&version);
    }
    return version;
}

struct RealPlatform {
    testing::FakeDebugOutput debug;  // the lines, as the tool would write them
    Win32CommandLine command_line;
    Win32Registry registry;
    Win32SystemMessages messages;
    testing::UncalledPackageManager packages;
    Win32WinHttp winhttp;
    Win32HostFacts host;
    Win32ProcessClock process_clock;
    Platform platform{debug, command_line, registry, messages, packages, winhttp, host, process_clock};
};

TEST(HostFacts, ReportsTheRunningWindows10WithItsRevisionAndArchitecture) {
    const RTL_OSVERSIONINFOW truth = TrueVersion();
    ASSERT_EQ(truth.dwMajorVersion, 10u) << "the test prefix must be set to Windows 10 (winecfg -v win10)";
    const RevisionValue revision(3803);
    RealPlatform real;

    const HostInfo info = QueryHostInfo(real.platform);

    EXPECT_EQ(info.major_version, truth.dwMajorVersion);
    EXPECT_EQ(info.minor_version, truth.dwMinorVersion);
    EXPECT_EQ(info.build_number, truth.dwBuildNumber);
    EXPECT_EQ(info.update_build_revision, 3803u);
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    EXPECT_EQ(info.processor_architecture, std::optional<std::uint32_t>(system.wProcessorArchitecture));
    EXPECT_EQ(info.processor_architecture, 9u) << "a 64-bit build on x64";
    EXPECT_EQ(OsVersionText(info), u"10." + FromWide(std::to_wstring(truth.dwMinorVersion).c_str()) + u"." +
                                       FromWide(std::to_wstring(truth.dwBuildNumber).c_str()) + u".3803");
    EXPECT_TRUE(real.debug.calls.empty());
}

TEST(TelemetryEventOnWindows, TakesTimesCommandLineAndHostFactsFromTheRunningProcess) {
    const RevisionValue revision(3803);
    RealPlatform real;
    FILETIME before{};
    ::GetSystemTimePreciseAsFileTime(&before);

    const TelemetryEvent first = MakeTelemetryEvent(real.platform, 1, true, true, u"App", u"Fam_x", u"1.0");
    const TelemetryEvent second =
        MakeTelemetryEvent(real.platform, 0, false, false, u"App", u"Fam_x", u"1.0");

    FILETIME after{};
    ::GetSystemTimePreciseAsFileTime(&after);
    const auto unix_ms = [](const FILETIME& time) {
        const ULONGLONG value = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        return static_cast<std::int64_t>((value - 116444736000000000ULL) / 10000);
    };
    EXPECT_LE(unix_ms(before), first.timestamp_ms);
    EXPECT_LE(second.timestamp_ms, unix_ms(after));
    EXPECT_LE(first.timestamp_ms, second.timestamp_ms);
    ASSERT_TRUE(first.duration_ms.has_value());
    ASSERT_TRUE(second.duration_ms.has_value());
    EXPECT_GE(*first.duration_ms, 0);
    EXPECT_LE(*first.duration_ms, *second.duration_ms);
    EXPECT_EQ(first.command_line, FromWide(::GetCommandLineW()));
    EXPECT_EQ(first.command_line, second.command_line);
    EXPECT_EQ(first.arch, u"x64");
    ASSERT_TRUE(first.os_version.has_value());
    EXPECT_TRUE(first.os_version->starts_with(u"10.0.")) << "the manifest declares Windows 10";
    EXPECT_TRUE(first.os_version->ends_with(u".3803"));
    EXPECT_TRUE(real.debug.calls.empty());
}

}  // namespace
}  // namespace halvern
