#include "app/switches.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace halvern {
namespace {

using testing::FakePlatform;

const std::u16string kLong(30000, u'W');

struct SwitchCase {
    std::vector<std::u16string> arguments;  // after the program path
    SwitchMap expected;
    bool machine_wide;
};

class ParseSwitchesTable : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitchesTable, BuildsTheMapAndDecidesTheMode) {
    const SwitchCase& c = GetParam();
    FakePlatform machine;
    machine.arguments->insert(machine.arguments->end(), c.arguments.begin(), c.arguments.end());
    const SwitchMap switches = ParseSwitches(machine, machine.command_line);
    EXPECT_EQ(switches, c.expected);
    EXPECT_EQ(IsMachineInstallType(switches), c.machine_wide);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseSwitchesTable,
    ::testing::Values(
        SwitchCase{{}, {}, false},
        SwitchCase{{u"/InstallType:MACHINE"}, {{u"InstallType", u"MACHINE"}}, true},
        SwitchCase{{u"/InstallType:machine"}, {{u"InstallType", u"machine"}}, false},
        SwitchCase{{u"/installtype:MACHINE"}, {{u"installtype", u"MACHINE"}}, false},
        SwitchCase{{u"/InstallType:USER"}, {{u"InstallType", u"USER"}}, false},
        SwitchCase{{u"/InstallType"}, {{u"InstallType", u""}}, false},
        SwitchCase{{u"/InstallType:"}, {{u"InstallType", u""}}, false},
        SwitchCase{{u"/InstallType:MACHINE:2"}, {{u"InstallType", u"MACHINE:2"}}, false},
        SwitchCase{{u"/InstallType:MACHINE "}, {{u"InstallType", u"MACHINE "}}, false},
        SwitchCase{{u"/InstallType:USER", u"/InstallType:MACHINE"}, {{u"InstallType", u"USER"}}, false},
        SwitchCase{{u"/InstallType:MACHINE", u"/InstallType:USER"}, {{u"InstallType", u"MACHINE"}}, true},
        SwitchCase{{u"/X1", u"/InstallType:MACHINE"}, {{u"X1", u""}, {u"InstallType", u"MACHINE"}}, true},
        SwitchCase{{u"-InstallType:MACHINE"}, {}, false}, SwitchCase{{u"/Install-Type:MACHINE"}, {}, false},
        SwitchCase{{u"/InstallType=MACHINE"}, {}, false},
        SwitchCase{{u"/InstallType:", u"MACHINE"}, {{u"InstallType", u""}}, false},
        SwitchCase{{u"//InstallType:MACHINE"}, {}, false}, SwitchCase{{u"/"}, {}, false},
        SwitchCase{{u"x/InstallType:MACHINE"}, {}, false}, SwitchCase{{u""}, {}, false},
        SwitchCase{{u"/Install\u00e9:MACHINE"}, {}, false},
        // A line break anywhere in the value makes the whole argument malformed.
        SwitchCase{{u"/InstallType:MACHINE\n"}, {}, false},
        SwitchCase{{u"/InstallType:MA\rCHINE"}, {}, false},
        SwitchCase{{u"/Note:a\u2028b"}, {{u"Note", u"a\u2028b"}}, false},
        SwitchCase{
            {u"/Note:\U0001F600 \"quoted\" %TEMP%"}, {{u"Note", u"\U0001F600 \"quoted\" %TEMP%"}}, false},
        SwitchCase{{u"MACHINE", u"/InstallType:MACHINE", u"junk"}, {{u"InstallType", u"MACHINE"}}, true},
        SwitchCase{{std::u16string(u"/N:a\0b", 6)}, {{u"N", std::u16string(u"a\0b", 3)}}, false},
        // Arguments as long as a command line can be: the matcher's stack does not grow with them.
        SwitchCase{
            {u"/" + kLong, u"/InstallType:MACHINE"}, {{kLong, u""}, {u"InstallType", u"MACHINE"}}, true},
        SwitchCase{{u"/InstallType:MACHINE", u"/Pad:" + kLong},
                   {{u"InstallType", u"MACHINE"}, {u"Pad", kLong}},
                   true}));

TEST(ParseSwitches, NeverExaminesTheProgramPathAndTakesAnUnsplittableLineAsNoSwitches) {
    FakePlatform machine;
    machine.arguments = {u"/InstallType:MACHINE", u"/X"};
    EXPECT_EQ(ParseSwitches(machine, machine.command_line), (SwitchMap{{u"X", u""}}));
    machine.Fail("CommandLineToArgvW", 0);
    EXPECT_TRUE(ParseSwitches(machine, machine.command_line).empty());
}

TEST(IsMachineInstallType, ComparesTheWholeValueExactly) {
    EXPECT_TRUE(IsMachineInstallType({{u"InstallType", u"MACHINE"}}));
    EXPECT_FALSE(IsMachineInstallType({{u"InstallType", u"MACHIN"}}));
    EXPECT_FALSE(IsMachineInstallType({{u"InstallType", u"MACHINEX"}}));
    EXPECT_FALSE(IsMachineInstallType({{u"InstallType", std::u16string(u"MACHINE\0", 8)}}));
    EXPECT_FALSE(IsMachineInstallType({{u"installType", u"MACHINE"}}));
    EXPECT_FALSE(IsMachineInstallType({}));
}

}  // namespace
}  // namespace halvern
