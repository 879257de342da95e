#include "telemetry/telemetry_event.h"

#include <gtest/gtest.h>

#include "telemetry_test_support.h"

namespace halvern {
namespace {

using testing::TelemetryTestPlatform;

constexpr char16_t kUpdateKey[] = u"Software\\HalvernUpdate\\Update";
constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL;

struct EventTest : ::testing::Test {
    EventTest() {
        test.registry.SetDword(kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"UBR",
                               3803);
        test.registry.SetString(kHkeyLocalMachine, kUpdateKey, u"uid", u"{MACHINE-UID}");
        test.registry.SetString(kHkeyCurrentUser, kUpdateKey, u"uid", u"{USER-UID}");
    }
    TelemetryEvent Make(std::int32_t kind = 1, bool success = true, bool machine_wide = true) {
        return MakeTelemetryEvent(test.platform, kind, success, machine_wide, u"Halvern",
                                  u"Halvern.Client_abc", u"1.2.3");
    }
    TelemetryTestPlatform test;
};

TEST_F(EventTest, FillsEveryFieldFromItsSource) {
    TelemetryEvent expected;
    expected.timestamp_ms = 1704164645678;
    expected.installer_name = u"HalvernCleanup";
    expected.app_name = u"Halvern";
    expected.event_type = u"Uninstall";
    expected.updater_id = u"{MACHINE-UID}";
    expected.os_version = u"10.0.19045.3803";
    expected.arch = u"x64";
    expected.duration_ms = 1234;
    expected.command_line = u"\"C:\\Tools\\HalvernCleanup.exe\" /InstallType:MACHINE";
    expected.package_family_name = u"Halvern.Client_abc";
    expected.version = u"1.2.3";
    expected.result = u"success";
    expected.install_type = u"machine";
    EXPECT_EQ(Make(), expected);
    EXPECT_TRUE(test.debug.calls.empty());
    EXPECT_EQ(test.registry.OpenHandleCount(), 0u);
}

TEST_F(EventTest, ReadsTheClockFirstAndTheProcessTimesAgainstTheSystemTime) {
    Make();
    const std::vector<std::u16string> expected = {u"GetSystemTimePreciseAsFileTime", u"GetCurrentProcess",
                                                  u"GetProcessTimes", u"GetSystemTimeAsFileTime"};
    EXPECT_EQ(test.process_clock.calls, expected);
    EXPECT_TRUE(test.process_clock.times_asked_for_current_process);
}

TEST_F(EventTest, TakesTheUpdaterIdAndInstallTypeFromTheRunsScope) {
    const TelemetryEvent per_user = Make(1, true, false);
    EXPECT_EQ(per_user.updater_id, u"{USER-UID}");
    EXPECT_EQ(per_user.install_type, u"user");
    const TelemetryEvent machine = Make(1, true, true);
    EXPECT_EQ(machine.updater_id, u"{MACHINE-UID}");
    EXPECT_EQ(machine.install_type, u"machine");
}

TEST_F(EventTest, LeavesTheUpdaterIdOutWithoutAUid) {
    test.registry.DeleteTree(kHkeyCurrentUser, kUpdateKey);
    EXPECT_EQ(Make(1, true, false).updater_id, std::nullopt);
    EXPECT_EQ(Make(1, true, true).updater_id, u"{MACHINE-UID}");
    test.registry.SetString(kHkeyLocalMachine, kUpdateKey, u"uid", u"");
    EXPECT_EQ(Make(1, true, true).updater_id, u"") << "an empty uid is still a uid";
}

TEST_F(EventTest, NamesTheEventKindAndTheResult) {
    const std::pair<std::int32_t, std::u16string> kinds[] = {
        {0, u"Remove_Package"}, {1, u"Uninstall"}, {2, u"Unknown"}, {-1, u"Unknown"}, {INT32_MIN, u"Unknown"},
    };
    for (const auto& [kind, text] : kinds) {
        EXPECT_EQ(Make(kind).event_type, text) << kind;
    }
    EXPECT_EQ(Make(1, true).result, u"success");
    EXPECT_EQ(Make(1, false).result, u"failure");
    EXPECT_EQ(Make(1, false).error_code, std::nullopt);
    EXPECT_EQ(Make(1, false).error_message, std::nullopt);
}

TEST_F(EventTest, KeepsEmptyCallerTextsPresent) {
    const TelemetryEvent event = MakeTelemetryEvent(test.platform, 0, true, false, u"", u"", u"");
    EXPECT_EQ(event.app_name, u"");
    EXPECT_EQ(event.package_family_name, u"");
    EXPECT_EQ(event.version, u"");
}

TEST_F(EventTest, LeavesOutWhatTheHostCannotTell) {
    test.process_clock.process_times_fail = true;
    test.host.version.reset();
    test.host.version_error = 5;
    test.host.has_kernel32 = false;
    test.host.module_error = 6;
    const TelemetryEvent event = Make();
    EXPECT_EQ(event.duration_ms, std::nullopt);
    EXPECT_EQ(event.os_version, std::nullopt);
    EXPECT_EQ(event.arch, std::nullopt);
    EXPECT_EQ(test.debug.Messages(),
              (std::vector<std::u16string>{u"GetVersionEx failed with error 5",
                                           u"GetModuleHandleW failed to get kernel32 with error 6"}));
    EXPECT_EQ(std::count(test.process_clock.calls.begin(), test.process_clock.calls.end(),
                         u"GetSystemTimeAsFileTime"),
              0);
}

TEST_F(EventTest, TurnsFileTimesIntoMillisecondsTruncatedTowardZero) {
    struct Case {
        std::uint64_t now;
        std::int64_t timestamp_ms;
    };
    const Case cases[] = {
        {kUnixEpoch, 0},          {kUnixEpoch + 9999, 0},   {kUnixEpoch + 10000, 1}, {kUnixEpoch - 1, 0},
        {kUnixEpoch - 10000, -1}, {kUnixEpoch - 19999, -1}, {0, -11644473600000},
    };
    for (const auto& c : cases) {
        test.process_clock.precise_now = c.now;
        EXPECT_EQ(Make().timestamp_ms, c.timestamp_ms) << c.now;
    }

    const std::pair<std::int64_t, std::int64_t> durations[] = {
        {0, 0}, {9999, 0}, {10000, 1}, {12345678, 1234}, {-15000, -1}, {-9999, 0},
    };
    for (const auto& [elapsed, milliseconds] : durations) {
        test.process_clock.creation_time = 133486382456780000ULL;
        test.process_clock.now = test.process_clock.creation_time + static_cast<std::uint64_t>(elapsed);
        EXPECT_EQ(Make().duration_ms, milliseconds) << elapsed;
    }
}

}  // namespace
}  // namespace halvern
