// The capture tool against a debuggee that writes known strings.
#include <gtest/gtest.h>

#include "child_process.h"

namespace halvern::testing {
namespace {

std::wstring ToolPath(const std::wstring& file_name) {
    const wchar_t* directory = ::_wgetenv(L"HALVERN_TOOLS_DIR");
    return L"\"" + (directory != nullptr ? directory + (L"/" + file_name) : file_name) + L"\"";
}

TEST(DebugCapture, WritesEveryAnsiAndUnicodeStringAsUtf8InOrderAndPassesOnTheExitCodeOrItsOwn) {
    struct Case {
        std::wstring arguments;  // after the capture tool
        std::string output;
        DWORD exit_code;
    };
    const std::wstring writer = L" " + ToolPath(L"halvern_debug_writer.exe") + L" ";
    const Case cases[] = {
        {writer + L"7 \"W[HalvernMSIX] Start HalvernCleanup\n\" W \"Wsecond line\n\" Wthird",
         "[HalvernMSIX] Start HalvernCleanup\nsecond line\nthird", 7},
        {writer + L"0 \"ACaf\u00e9 100%\n\" \"WCaf\u00e9 \\\"q\\\"\n\"",
         "Caf\xc3\xa9 100%\nCaf\xc3\xa9 \"q\"\n", 0},
        {writer + L"0", "", 0},
        {L" /Monitor" + writer + L"5 Wfirst \"ASecond, undebugged\"", "firstSecond, undebugged", 5},
        {L"", "", 2},                        // no command
        {L" C:\\nowhere\\none.exe", "", 3},  // a program that cannot be started
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const ChildResult result = RunChild(ToolPath(L"HalvernDebugCapture.exe") + c.arguments);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.exit_code, c.exit_code);
    }
}

TEST(StackProtector, EndsAProgramThatOverwritesItsStackGuardInsteadOfReturning) {
    // The writer has the shipped exes' flags; under the capture tool, Wine's crash debugger stays away.
    const ChildResult result = RunChild(ToolPath(L"HalvernDebugCapture.exe") + L" " +
                                        ToolPath(L"halvern_debug_writer.exe") + L" 0 S16 Wreturned");
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.exit_code, 0xC000001Du);  // the protector's illegal-instruction trap
}

}  // namespace
}  // namespace halvern::testing
