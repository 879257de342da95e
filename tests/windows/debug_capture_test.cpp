// The capture tool against a debuggee that writes known strings.
#include <gtest/gtest.h>

#include "child_process.h"

namespace halvern::testing {
namespace {

ChildResult Capture(const std::wstring& writer_arguments) {
    return RunChild(L"\"" + ToolPath(L"HalvernDebugCapture.exe") + L"\" \"" +
                    ToolPath(L"halvern_debug_writer.exe") + L"\" " + writer_arguments);
}

TEST(DebugCapture, WritesEveryAnsiAndUnicodeStringAsUtf8InOrderAndPassesOnTheExitCode) {
    struct Case {
        const wchar_t* writer_arguments;
        std::string output;
        DWORD exit_code;
    };
    const Case cases[] = {
        {L"7 \"W[HalvernMSIX] Start HalvernCleanup\n\" W \"Wsecond line\n\" Wthird",
         "[HalvernMSIX] Start HalvernCleanup\nsecond line\nthird", 7},
        {L"0 \"ACaf\u00e9 100%\n\" \"WCaf\u00e9 \\\"q\\\"\n\"", "Caf\xc3\xa9 100%\nCaf\xc3\xa9 \"q\"\n", 0},
        {L"0", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const ChildResult result = Capture(c.writer_arguments);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.exit_code, c.exit_code);
    }
}

TEST(DebugCapture, FailsWithItsOwnCodesWithoutAUsableCommand) {
    const ChildResult usage = RunChild(L"\"" + ToolPath(L"HalvernDebugCapture.exe") + L"\"");
    ASSERT_TRUE(usage.started);
    EXPECT_EQ(usage.exit_code, 2u);
    const ChildResult missing =
        RunChild(L"\"" + ToolPath(L"HalvernDebugCapture.exe") + L"\" C:\\nowhere\\none.exe");
    ASSERT_TRUE(missing.started);
    EXPECT_EQ(missing.exit_code, 3u);
    EXPECT_EQ(missing.output, "");
}

}  // namespace
}  // namespace halvern::testing
