// Argument splitting through the real CommandLineToArgvW, and switch parsing on top of it.
#include "platform/win32/win32_command_line.h"

#include <gtest/gtest.h>

#include "app/switches.h"

namespace halvern {
namespace {

struct SplitCase {
    std::u16string command_line;
    std::vector<std::u16string> arguments;
};

TEST(Win32CommandLine, SplitsWithTheWindowsRulesForQuotesAndBackslashes) {
    const SplitCase cases[] = {
        {u"C:\\x\\HalvernCleanup.exe", {u"C:\\x\\HalvernCleanup.exe"}},
        {u"\"C:\\Program Files\\H\\HalvernCleanup.exe\" /InstallType:MACHINE",
         {u"C:\\Program Files\\H\\HalvernCleanup.exe", u"/InstallType:MACHINE"}},
        {u"a.exe \"/InstallType:MACHINE\"", {u"a.exe", u"/InstallType:MACHINE"}},
        {u"a.exe /InstallType:\"MACHINE\"", {u"a.exe", u"/InstallType:MACHINE"}},
        {u"a.exe \"/Note:two words\"   /X", {u"a.exe", u"/Note:two words", u"/X"}},
        {u"a.exe C:\\dir\\ \\\\server\\share", {u"a.exe", u"C:\\dir\\", u"\\\\server\\share"}},
        {u"a.exe \"a\\\"b\"", {u"a.exe", u"a\"b"}},
        {u"a.exe \"a\\\\\"", {u"a.exe", u"a\\"}},
        {u"a.exe a\\\\\\\"b", {u"a.exe", u"a\\\"b"}},
    };
    Win32CommandLine api;
    for (const auto& c : cases) {
        const auto split = api.CommandLineToArgvW(c.command_line);
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(*split, c.arguments);
    }
}

TEST(Win32CommandLine, GivesThisProcessCommandLineWhole) {
    Win32CommandLine api;
    const std::u16string line = api.GetCommandLineW();
    EXPECT_NE(line.find(u"halvern_windows_tests"), std::u16string::npos);
}

TEST(ParseSwitches, SelectsTheMachineWideRunFromEveryQuotedForm) {
    Win32CommandLine api;
    for (const std::u16string line :
         {u"x.exe /InstallType:MACHINE", u"x.exe \"/InstallType:MACHINE\"", u"x.exe /InstallType:\"MACHINE\"",
          u"x.exe /\"InstallType\":MACHINE", u"\"C:\\a b\\x.exe\" junk /InstallType:MACHINE \"more junk\""}) {
        EXPECT_TRUE(IsMachineInstallType(ParseSwitches(api, line)));
    }
    for (const std::u16string line : {u"x.exe \"/InstallType: MACHINE\"", u"x.exe /InstallType: MACHINE",
                                      u"/InstallType:MACHINE", u"x.exe \"/InstallType:MACHINE \""}) {
        EXPECT_FALSE(IsMachineInstallType(ParseSwitches(api, line)));
    }
}

}  // namespace
}  // namespace halvern
