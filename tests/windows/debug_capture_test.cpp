// The capture tool against a debuggee that writes known strings.
#include <gtest/gtest.h>

#include "child_process.h"

namespace halvern::testing {
namespace {

ChildResult Capture(const std::wstring& writer_arguments) {
    return RunChild(L"\"" + ToolPath(L"HalvernDebugCapture.exe") + L"\" \"" +
                    ToolPath(L"halvern_debug_writer.exe") + L"\" " + writer_arguments);
}

TEST(DebugCapture, WritesEveryStringInOrderAndPassesOnTheExitCode) {
    const ChildResult result =
        Capture(L"7 \"W[HalvernMSIX] Start HalvernCleanup\n\" W \"Wsecond line\n\" Wthird");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.output, "[HalvernMSIX] Start HalvernCleanup\nsecond line\nthird");
    EXPECT_EQ(result.exit_code, 7u);
}

TEST(DebugCapture, ReceivesAnsiAndUnicodeStringsAsUtf8) {
    const ChildResult result = Capture(L"0 \"ACaf\u00e9 100%\n\" \"WCaf\u00e9 \\\"q\\\"\n\"");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.output, "Caf\xc3\xa9 100%\nCaf\xc3\xa9 \"q\"\n");
    EXPECT_EQ(result.exit_code, 0u);
}

TEST(DebugCapture, ReportsADebuggeeThatWritesNothing) {
    const ChildResult result = Capture(L"0");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.exit_code, 0u);
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
