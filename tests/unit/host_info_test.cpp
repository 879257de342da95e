#include "telemetry/host_info.h"

#include <gtest/gtest.h>

#include "telemetry_test_support.h"

namespace halvern {
namespace {

using testing::FakeDebugOutput;
using testing::FakeHostFacts;
using testing::TelemetryTestPlatform;

constexpr char16_t kCurrentVersionKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

TEST(ArchitectureName, NamesTheFiveKnownCodesAndNothingElse) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {0, u"x86"},           {5, u"arm32"},
        {6, u"IA64"},          {9, u"x64"},
        {12, u"arm64"},        {1, u"unknown"},
        {10, u"unknown"},      {0xFFFF, u"unknown"},
        {0x10009, u"unknown"}, {0xFFFFFFFF, u"unknown"},
    };
    for (const auto& [code, name] : cases) {
        EXPECT_EQ(ArchitectureName(code), name) << code;
    }
}

TEST(QueryProcessorArchitecture, MapsTheNativeMachineThatIsWow64Process2Reports) {
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {0x014C, 0}, {0x01C0, 5}, {0x01C2, 5}, {0x01C4, 5}, {0x8664, 9}, {0xAA64, 12},
    };
    for (const auto& [machine, code] : cases) {
        FakeHostFacts host;
        FakeDebugOutput debug;
        host.native_machine = machine;
        host.native_system_architecture = 0xFFFF;
        EXPECT_EQ(QueryProcessorArchitecture(host, debug), code) << machine;
        EXPECT_EQ(host.module_name, u"kernel32");
        EXPECT_EQ(host.procedure_name, "IsWow64Process2");
        EXPECT_TRUE(host.outputs_zeroed);
        EXPECT_TRUE(host.called_for_current_process);
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), u"GetNativeSystemInfo"), 0);
        EXPECT_TRUE(debug.calls.empty());
    }
}

TEST(QueryProcessorArchitecture, FallsBackToTheNativeSystemInfoUnchanged) {
    struct Case {
        const char* what;
        bool exported;
        bool call_succeeds;
        std::uint16_t native_machine;
    };
    const Case cases[] = {
        {"not exported", false, true, 0x8664},
        {"call fails", true, false, 0x8664},
        {"IA64 is not in the mapping", true, true, 0x0200},
        {"unknown machine", true, true, 0},
    };
    for (const auto& c : cases) {
        for (const std::uint16_t reported : {std::uint16_t{9}, std::uint16_t{6}, std::uint16_t{0xFFFF}}) {
            SCOPED_TRACE(c.what);
            FakeHostFacts host;
            FakeDebugOutput debug;
            host.exports_is_wow64_process2 = c.exported;
            host.is_wow64_process2_succeeds = c.call_succeeds;
            host.is_wow64_process2_error = 50;
            host.native_machine = c.native_machine;
            host.native_system_architecture = reported;
            EXPECT_EQ(QueryProcessorArchitecture(host, debug), reported);
            EXPECT_EQ(host.calls.back(), u"GetNativeSystemInfo");
            EXPECT_TRUE(debug.calls.empty()) << "a fallback is not a failure";
        }
    }
}

TEST(QueryProcessorArchitecture, WithoutKernel32LogsTheErrorAndGivesNothing) {
    FakeHostFacts host;
    FakeDebugOutput debug;
    host.has_kernel32 = false;
    host.module_error = 126;
    EXPECT_EQ(QueryProcessorArchitecture(host, debug), std::nullopt);
    EXPECT_EQ(debug.Messages(),
              std::vector<std::u16string>{u"GetModuleHandleW failed to get kernel32 with error 126"});
    EXPECT_EQ(host.calls, std::vector<std::u16string>{u"GetModuleHandleW"});
}

TEST(OsVersionText, JoinsThePartsUpToTheFirstAbsentOne) {
    EXPECT_EQ(OsVersionText(HostInfo{10, 0, 19045, 3803, 9}), u"10.0.19045.3803");
    EXPECT_EQ(OsVersionText(HostInfo{10, 0, 19045, std::nullopt, 9}), u"10.0.19045");
    EXPECT_EQ(OsVersionText(HostInfo{10, 0, 0, 0, std::nullopt}), u"10.0.0.0");
    EXPECT_EQ(OsVersionText(HostInfo{4294967295u, 1, 2, 4294967295u, {}}), u"4294967295.1.2.4294967295");
    EXPECT_EQ(OsVersionText(HostInfo{10, std::nullopt, 19045, 3803, {}}), u"10");
    EXPECT_EQ(OsVersionText(HostInfo{std::nullopt, std::nullopt, std::nullopt, 3803, 9}), std::nullopt);
}

TEST(QueryHostInfo, GathersVersionRevisionAndArchitecture) {
    TelemetryTestPlatform test;
    test.registry.SetDword(kHkeyLocalMachine, kCurrentVersionKey, u"UBR", 3803);
    test.host.version = FakeHostFacts::Version{10, 0, 19045};
    test.host.native_machine = 0xAA64;
    EXPECT_EQ(QueryHostInfo(test.platform), (HostInfo{10, 0, 19045, 3803, 12}));
    EXPECT_EQ(test.host.version_info_size, 276u);
    EXPECT_TRUE(test.debug.calls.empty());
    EXPECT_EQ(test.registry.OpenHandleCount(), 0u);
}

TEST(QueryHostInfo, ReadsTheRevisionOnlyFromTheMachinesThirtyTwoBitView) {
    TelemetryTestPlatform test;
    // In the 64-bit view or under the current user, the value is not the one the tool reads.
    test.registry.SetDword(kHkeyLocalMachine, kCurrentVersionKey, u"UBR", 1,
                           testing::FakeRegistry::View::k64);
    test.registry.SetDword(kHkeyCurrentUser, kCurrentVersionKey, u"UBR", 2);
    EXPECT_EQ(QueryHostInfo(test.platform).update_build_revision, std::nullopt);
    test.registry.SetString(kHkeyLocalMachine, kCurrentVersionKey, u"UBR", u"3803");
    EXPECT_EQ(QueryHostInfo(test.platform).update_build_revision, std::nullopt);
    test.registry.SetDword(kHkeyLocalMachine, kCurrentVersionKey, u"UBR", 4170);
    EXPECT_EQ(QueryHostInfo(test.platform).update_build_revision, 4170u);
}

TEST(QueryHostInfo, LeavesFailedFactsAbsentAndLogsEachFailureInOrder) {
    TelemetryTestPlatform test;
    test.registry.SetDword(kHkeyLocalMachine, kCurrentVersionKey, u"UBR", 3803);
    test.host.version.reset();
    test.host.version_error = 1150;
    test.host.has_kernel32 = false;
    test.host.module_error = 0;

    const HostInfo info = QueryHostInfo(test.platform);

    EXPECT_EQ(info, (HostInfo{std::nullopt, std::nullopt, std::nullopt, 3803, std::nullopt}));
    EXPECT_EQ(OsVersionText(info), std::nullopt) << "a revision alone is no version";
    EXPECT_EQ(test.debug.Messages(), (std::vector<std::u16string>{
                                         u"GetVersionEx failed with error 1150",
                                         u"GetModuleHandleW failed to get kernel32 with error 0",
                                     }));
}

}  // namespace
}  // namespace halvern
