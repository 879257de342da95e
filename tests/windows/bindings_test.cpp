// The Win32 bindings where the end-to-end scenarios cannot reach: the system's message texts (the
// scenarios take any text, or none, for them) and a WinHTTP failure reported with its own error number.
#include <gtest/gtest.h>

#include "common/build_config.h"
#include "fakes/fake_platform.h"
#include "platform/win32/win32_system_messages.h"
#include "platform/win32/win32_winhttp.h"
#include "telemetry/telemetry_upload.h"

namespace halvern {
namespace {

TEST(Win32SystemMessages, KeepsTheTextWholeAndGivesNothingForANumberWithout) {
    Win32SystemMessages messages;
    const auto text = messages.FormatMessageW(2, 0x0409);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->size() > 2 && text->ends_with(u"\r\n"));
    EXPECT_EQ(messages.FormatMessageW(0x7FFFFFFF, 0x0409), std::nullopt);
}

TEST(Win32WinHttp, ReportsASendWithNobodyListeningWithItsError) {
    Win32WinHttp http;
    testing::FakePlatform debug;
    std::uint32_t status = 0;
    const std::uint32_t result =
        PostForm(http, debug, kTelemetryHost, kTelemetryPath, {{u"a", u"b"}}, &status);
    EXPECT_EQ(result, 12029u);  // ERROR_WINHTTP_CANNOT_CONNECT
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(debug.lines,
              std::vector<std::u16string>{u"[HalvernMSIX] WinHttpSendRequest failed with error 12029\n"});
}

}  // namespace
}  // namespace halvern
