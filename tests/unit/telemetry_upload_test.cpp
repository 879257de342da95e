#include "telemetry/telemetry_upload.h"

#include <gtest/gtest.h>

#include "app/build_config.h"
#include "telemetry_test_support.h"

namespace halvern {
namespace {

using testing::BodyText;
using testing::DecodedForm;
using testing::DecodeForm;
using testing::FakeDebugOutput;
using testing::FakeWinHttp;
using Kind = FakeWinHttp::Kind;

const FormFields kFields = {{u"app_name", u"A & B"}, {u"version", u""}, {u"note", u"caf\u00e9 \U0001F600"}};

struct Exchange {
    std::uint32_t Post() {
        return PostForm(http, debug, u"telemetry.example", u"/msix_installer/log_event", kFields, &status);
    }
    FakeWinHttp http;
    FakeDebugOutput debug;
    std::uint32_t status = 0xDEADBEEF;
};

TEST(PostForm, MakesTheExchangeWithTheFixedArguments) {
    Exchange exchange;
    EXPECT_EQ(exchange.Post(), 0u);
    const FakeWinHttp& http = exchange.http;

    EXPECT_EQ(http.agent, u"Halvern MSIX Installer Telemetry/1.0");
    EXPECT_EQ(http.access_type, 4u);
    EXPECT_FALSE(http.proxy_given);
    EXPECT_EQ(http.open_flags, 0u);
    EXPECT_EQ(http.server_name, u"telemetry.example");
    EXPECT_EQ(http.server_port, 443);
    EXPECT_EQ(http.verb, u"POST");
    EXPECT_EQ(http.object_name, u"/msix_installer/log_event");
    EXPECT_FALSE(http.version_referrer_or_accept_given);
    EXPECT_EQ(http.request_flags, 0x00800000u);
    EXPECT_EQ(http.added_headers, u"Content-Type: application/x-www-form-urlencoded; charset=utf-16");
    EXPECT_EQ(http.added_headers_length, 0xFFFFFFFFu);
    EXPECT_EQ(http.add_modifiers, 0x20000000u);
    EXPECT_FALSE(http.send_headers_given);
    EXPECT_EQ(http.context, 0u);
    EXPECT_EQ(http.query_info_level, 0x20000013u);
    EXPECT_FALSE(http.query_name_or_index_given);
    EXPECT_EQ(http.query_buffer_length, 4u);
    EXPECT_EQ(exchange.status, 200u);
    EXPECT_EQ(exchange.debug.Messages(), std::vector<std::u16string>{u"Got expected status code=200"});
}

TEST(PostForm, SendsTheEscapedUtf16LittleEndianBodyWithoutMarkOrTerminator) {
    Exchange exchange;
    exchange.Post();
    const std::vector<unsigned char>& body = exchange.http.body;
    EXPECT_EQ(BodyText(body), u"app_name=A %26 B&version=&note=caf\u00e9 \U0001F600");
    EXPECT_EQ(body.size() % 2, 0u);
    EXPECT_EQ(exchange.http.total_length, body.size());
    ASSERT_GE(body.size(), 4u);
    EXPECT_EQ(body[0], 'a');  // no byte-order mark, low byte first
    EXPECT_EQ(body[1], 0);
    EXPECT_NE(body[body.size() - 2] | body[body.size() - 1], 0);  // no NUL at the end
    EXPECT_EQ(DecodeForm(BodyText(body)), (DecodedForm{kFields.begin(), kFields.end()}));
}

TEST(PostForm, LogsAnyOtherStatusAsUnexpectedAndStillReturnsZero) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {204, u"Unexpected status code=204"},
        {500, u"Unexpected status code=500"},
        {0, u"Unexpected status code=0"},
        {4294967295u, u"Unexpected status code=4294967295"},
    };
    for (const auto& [code, line] : cases) {
        Exchange exchange;
        exchange.http.status_code = code;
        EXPECT_EQ(exchange.Post(), 0u);
        EXPECT_EQ(exchange.status, code);
        EXPECT_EQ(exchange.debug.Messages(), std::vector<std::u16string>{line});
        EXPECT_EQ(exchange.http.closed, (std::vector<Kind>{Kind::Request, Kind::Connection, Kind::Session}));
    }
}

struct FailureCase {
    const char16_t* call;
    std::uint32_t error;
    std::u16string line;
    std::vector<Kind> closed;
};

TEST(PostForm, LogsAFailingCallWithItsErrorReturnsItAndClosesWhatWasOpened) {
    const std::vector<Kind> all = {Kind::Request, Kind::Connection, Kind::Session};
    const FailureCase cases[] = {
        {u"WinHttpOpen", 12007, u"WinHttpOpen failed with error 12007", {}},
        {u"WinHttpConnect", 12005, u"WinHttpConnect failed with error 12005", {Kind::Session}},
        {u"WinHttpOpenRequest",
         8,
         u"WinHttpOpenRequest failed with error 8",
         {Kind::Connection, Kind::Session}},
        {u"WinHttpAddRequestHeaders", 87, u"WinHttpAddRequestHeaders failed with error 87", all},
        {u"WinHttpSendRequest", 12029, u"WinHttpSendRequest failed with error 12029", all},
        {u"WinHttpReceiveResponse", 12002, u"WinHttpReceiveResponse failed with error 12002", all},
        {u"WinHttpQueryHeaders", 12150, u"WinHttpQueryHeaders failed with error 12150", all},
        {u"WinHttpSendRequest", 4294967295u, u"WinHttpSendRequest failed with error 4294967295", all},
        {u"WinHttpOpen", 0, u"WinHttpOpen failed with error 0", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call, c.call + std::char_traits<char16_t>::length(c.call)));
        Exchange exchange;
        exchange.http.fail_call = c.call;
        exchange.http.fail_error = c.error;
        EXPECT_EQ(exchange.Post(), c.error);
        EXPECT_EQ(exchange.debug.Messages(), std::vector<std::u16string>{c.line});
        EXPECT_EQ(exchange.http.closed, c.closed);
        EXPECT_EQ(exchange.http.OpenHandles(), 0u);
        EXPECT_EQ(exchange.status, 0xDEADBEEFu) << "the status variable is written only when read";
        // Nothing is tried after the failing call but the closes.
        const auto& calls = exchange.http.calls;
        const auto failing = std::find(calls.begin(), calls.end(), c.call);
        ASSERT_NE(failing, calls.end());
        EXPECT_TRUE(std::all_of(failing + 1, calls.end(),
                                [](const auto& call) { return call == u"WinHttpCloseHandle"; }));
    }
}

TEST(PostForm, AcceptsNoStatusVariable) {
    FakeWinHttp http;
    FakeDebugOutput debug;
    EXPECT_EQ(PostForm(http, debug, u"h", u"/p", kFields, nullptr), 0u);
    EXPECT_EQ(debug.Messages(), std::vector<std::u16string>{u"Got expected status code=200"});
}

TEST(SendTelemetryEvent, PostsTheEventsFieldsToTheBuiltInHostAndPath) {
    testing::TelemetryTestPlatform test;
    TelemetryEvent event;
    event.timestamp_ms = 42;
    event.installer_name = u"HalvernCleanup";
    event.result = u"success";
    std::uint32_t status = 0;
    EXPECT_EQ(SendTelemetryEvent(test.platform, event, &status), 0u);
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(test.winhttp.server_name, kTelemetryHost);
    EXPECT_EQ(test.winhttp.object_name, u"/msix_installer/log_event");
    EXPECT_EQ(BodyText(test.winhttp.body),
              u"timestamp_ms=42&installer_name=HalvernCleanup&app_name=&event_type=&result=success");
}

}  // namespace
}  // namespace halvern
