// The client side of a real exchange with the telemetry sink. test_sink_exchange.py starts the sink
// in the state each case needs, runs the case and then checks what the sink recorded; these cases
// are not run on their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/build_config.h"
#include "app/debug_log.h"
#include "fakes/fake_debug_output.h"
#include "platform/win32/win32_winhttp.h"
#include "telemetry/telemetry_upload.h"

namespace halvern {
namespace {

// test_sink_exchange.py builds the same body on its own and compares it byte for byte.
const FormFields kFields = {
    {u"timestamp_ms", u"1704164645678"},
    {u"installer_name", u"HalvernCleanup"},
    {u"app_name", u"A & B = 100% + more"},
    {u"event_type", u"Uninstall"},
    {u"package_family_name", u"Halvern.Client_abc"},
    {u"version", u""},
    {u"result", u"failure"},
    {u"error_message", u"MSIXError(UnknownError): x&result=success\r\nCaf\u00e9 \u2603 \U0001F600"},
    {u"install_type", u"user"},
    {u"command_line", u"\"C:\\Program Files\\Halvern\\HalvernCleanup.exe\" /InstallType:MACHINE"},
};

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

struct Exchange {
    std::uint32_t Post() { return PostForm(http, debug, kTelemetryHost, kTelemetryPath, kFields, &status); }
    Win32WinHttp http;
    testing::FakeDebugOutput debug;
    std::uint32_t status = kUntouched;
};

std::uint32_t ExpectedStatus() {
    const char* text = std::getenv("HALVERN_SINK_STATUS");
    return text == nullptr ? 0 : static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

TEST(SinkExchange, PostsTheFormAndReadsTheStatus) {
    const std::uint32_t expected = ExpectedStatus();
    ASSERT_NE(expected, 0u) << "HALVERN_SINK_STATUS names the status the sink answers with";
    Exchange exchange;
    EXPECT_EQ(exchange.Post(), 0u);
    EXPECT_EQ(exchange.status, expected);
    const std::u16string line = expected == 200 ? std::u16string(u"Got expected status code=200")
                                                : u"Unexpected status code=" + DecimalText(expected);
    EXPECT_EQ(exchange.debug.calls, std::vector<std::u16string>{u"[HalvernMSIX] " + line + u"\n"});
}

TEST(SinkExchange, FailsToSendToASinkItDoesNotTrust) {
    Exchange exchange;
    const std::uint32_t result = exchange.Post();
    // ERROR_WINHTTP_SECURE_FAILURE on Wine; Windows says ERROR_WINHTTP_SECURE_INVALID_CA.
    EXPECT_TRUE(result == 12175 || result == 12157) << result;
    EXPECT_EQ(exchange.debug.Messages(),
              std::vector<std::u16string>{u"WinHttpSendRequest failed with error " + DecimalText(result)});
    EXPECT_EQ(exchange.status, kUntouched);
}

TEST(SinkExchange, FailsToSendWithNoSinkListening) {
    Exchange exchange;
    EXPECT_EQ(exchange.Post(), 12029u);  // ERROR_WINHTTP_CANNOT_CONNECT
    EXPECT_EQ(exchange.debug.Messages(),
              std::vector<std::u16string>{u"WinHttpSendRequest failed with error 12029"});
    EXPECT_EQ(exchange.status, kUntouched);
}

}  // namespace
}  // namespace halvern
