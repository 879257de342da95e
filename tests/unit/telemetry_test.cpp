// The telemetry pieces the scenarios cannot vary: field order and escaping, each failing WinHTTP call,
// absent host facts, and the architecture mapping.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/decimal_text.h"
#include "errors/outcome_events.h"
#include "fakes/fake_platform.h"
#include "telemetry/form_encoding.h"
#include "telemetry/host_info.h"
#include "telemetry/telemetry_event.h"
#include "telemetry/telemetry_upload.h"

namespace halvern {
namespace {

using testing::FakePlatform;

TEST(FormEncoding, SendsPresentFieldsOnceInOrderWithTheFourSeparatorsEscaped) {
    TelemetryEvent event{-5, u"I", u"a&b=c%d+e f", u"T",        u"",   {},     u"x64", INT64_MIN, u"/X:1&2",
                         {}, u"",  u"failure",     -2147024891, u"=&", u"user"};
    EXPECT_EQ(EncodeFormBody(BuildFormFields(event)),
              u"timestamp_ms=-5&installer_name=I&app_name=a%26b%3Dc%25d%2Be f&event_type=T&version=&"
              u"updater_id=&arch=x64&result=failure&error_code=-2147024891&error_message=%3D%26&"
              u"duration_ms=-9223372036854775808&install_type=user&command_line=/X:1%262");
}

struct UploadFailure {
    const char* call;
    std::vector<std::string> closed;  // what was open, closed request first
};

TEST(PostForm, LogsAFailingCallReturnsItsErrorAndClosesWhatWasOpened) {
    const UploadFailure cases[] = {
        {"WinHttpOpen", {}},
        {"WinHttpConnect", {"session"}},
        {"WinHttpOpenRequest", {"connection", "session"}},
        {"WinHttpAddRequestHeaders", {"request", "connection", "session"}},
        {"WinHttpSendRequest", {"request", "connection", "session"}},
        {"WinHttpReceiveResponse", {"request", "connection", "session"}},
        {"WinHttpQueryHeaders", {"request", "connection", "session"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        FakePlatform machine;
        machine.Fail(c.call, 12002);
        std::uint32_t status = 7;
        EXPECT_EQ(PostForm(machine, machine, u"h", u"/p", {{u"k", u"v"}}, &status), 12002u);
        EXPECT_EQ(status, 7u);
        const std::string line = "[HalvernMSIX] " + std::string(c.call) + " failed with error 12002\n";
        EXPECT_EQ(machine.lines, std::vector<std::u16string>{std::u16string(line.begin(), line.end())});
        EXPECT_EQ(machine.closed, c.closed);
    }
}

TEST(PostForm, PostsTheBodyOverTlsAndReadsTheStatusWhateverItIs) {
    for (const std::uint32_t answer : {200u, 204u, 500u}) {
        FakePlatform machine;
        machine.sink_status = answer;
        std::uint32_t status = 0;
        EXPECT_EQ(PostForm(machine, machine, u"telemetry.example", u"/msix_installer/log_event",
                           {{u"a", u"b"}}, &status),
                  0u);
        EXPECT_EQ(status, answer);
        EXPECT_EQ(machine.lines.back(),
                  answer == 200 ? u"[HalvernMSIX] Got expected status code=200\n"
                                : u"[HalvernMSIX] Unexpected status code=" + DecimalText(answer) + u"\n");
        ASSERT_EQ(machine.requests.size(), 1u);
        // The end-to-end sink checks the rest of the request; it cannot see the proxy choice.
        EXPECT_EQ(machine.requests[0].access_type, 4u);
        EXPECT_EQ(machine.requests[0].flags, 0x00800000u);
    }
}

TEST(TelemetryEvent, LeavesOutWhatTheHostCannotTellAndLogsEachFailureInOrder) {
    FakePlatform machine;
    machine.Fail("GetProcessTimes", 5);
    machine.Fail("GetVersionExW", 1150);
    machine.Fail("GetModuleHandleW", 126);
    Platform platform = machine.platform();
    const TelemetryEvent event =
        MakeTelemetryEvent(platform, EventKind{7}, false, Scope::Machine, u"A", u"F", u"V");
    EXPECT_EQ(event.event_type, u"Unknown");
    EXPECT_EQ(event.duration_ms, std::nullopt);
    EXPECT_EQ(event.os_version, std::nullopt);
    EXPECT_EQ(event.arch, std::nullopt);
    EXPECT_EQ(machine.lines, (std::vector<std::u16string>{
                                 u"[HalvernMSIX] GetVersionEx failed with error 1150\n",
                                 u"[HalvernMSIX] GetModuleHandleW failed to get kernel32 with error 126\n"}));
}

TEST(OutcomeEvents, TakeAnErrorsTextUpToItsFirstNul) {
    FakePlatform machine;
    Platform platform = machine.platform();
    const std::u16string text = u"A";
    ReportHresultFailure(platform, {EventKind::Uninstall, Scope::User, text, text, text},
                         projection::hresult_error(-5, std::u16string(u"text\0rest", 9)));
    const auto fields = testing::DecodeForm(machine.requests.at(0).body);
    EXPECT_NE(std::ranges::find(fields, std::pair<std::u16string, std::u16string>(
                                            u"error_message", u"winrt::hresult_error(-5): text")),
              fields.end());
}

TEST(HostInfo, MapsTheNativeMachineElseTakesTheSystemsArchitectureUnchanged) {
    struct Case {
        std::uint16_t machine;
        const char* fail;  // a call that fails, if any
        std::uint32_t code;
    };
    const Case cases[] = {{0x014C, "", 0},
                          {0x01C0, "", 5},
                          {0x01C2, "", 5},
                          {0x01C4, "", 5},
                          {0x8664, "", 9},
                          {0xAA64, "", 12},
                          {0x0200, "", 6},
                          {0, "", 6},
                          {0x8664, "GetProcAddress", 6},
                          {0x8664, "IsWow64Process2", 6}};
    for (const auto& c : cases) {
        FakePlatform machine;
        machine.native_machine = c.machine;
        machine.system_architecture = 6;
        machine.Fail(c.fail, 50);
        EXPECT_EQ(QueryProcessorArchitecture(machine, machine), c.code) << c.machine << c.fail;
        EXPECT_TRUE(machine.lines.empty());
    }
    const std::pair<std::uint32_t, std::u16string> names[] = {
        {0, u"x86"},    {5, u"arm32"},   {6, u"IA64"},        {9, u"x64"},
        {12, u"arm64"}, {1, u"unknown"}, {0xFFFF, u"unknown"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(ArchitectureName(code), name);
    }
    EXPECT_EQ(OsVersionText({10, 0, 19045, std::nullopt, 9}), u"10.0.19045");
    EXPECT_EQ(OsVersionText({10, std::nullopt, 19045, 3803, 9}), u"10");  // the first absent part ends it
    EXPECT_EQ(OsVersionText({4294967295u, 1, 2, 3, {}}), u"4294967295.1.2.3");
}

}  // namespace
}  // namespace halvern
