#include "common/switches.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace halvern {
namespace {

using testing::FakePlatform;

// The rule by example; the fuzz target checks the matcher against the whole pattern.
TEST(ParseSwitches, KeepsTheFirstOfEachWellFormedSwitchAndDecidesTheMode) {
    const std::u16string long_text(30000, u'W');
    struct Case {
        std::vector<std::u16string> arguments;  // after the program path
        SwitchMap expected;
        bool machine_wide;
    };
    const Case cases[] = {
        {{}, {}, false},
        {{u"/InstallType:MACHINE"}, {{u"InstallType", u"MACHINE"}}, true},
        {{u"/InstallType:machine"}, {{u"InstallType", u"machine"}}, false},
        {{u"/installtype:MACHINE"}, {{u"installtype", u"MACHINE"}}, false},
        {{u"/InstallType"}, {{u"InstallType", u""}}, false},
        {{u"/InstallType:MACHINE:2"}, {{u"InstallType", u"MACHINE:2"}}, false},
        {{u"/InstallType:MACHIN", u"/InstallType:MACHINE"}, {{u"InstallType", u"MACHIN"}}, false},
        {{u"/InstallType:MACHINE", u"/InstallType:USER"}, {{u"InstallType", u"MACHINE"}}, true},
        {{u"MACHINE", u"/X1", u"/InstallType:MACHINE"}, {{u"X1", u""}, {u"InstallType", u"MACHINE"}}, true},
        {{u"-InstallType:MACHINE", u"/Install-Type:MACHINE", u"/InstallType=MACHINE", u"//X", u"/", u""},
         {},
         false},
        {{u"/InstallType:", u"MACHINE"}, {{u"InstallType", u""}}, false},
        {{u"/InstallType:MACHINE\n", u"/N:a\rb", u"/N:a\u2028b"}, {{u"N", u"a\u2028b"}}, false},
        {{std::u16string(u"/InstallType:MACHINE\0b", 22)},
         {{u"InstallType", std::u16string(u"MACHINE\0b", 9)}},
         false},
        // Arguments as long as a command line can be: the matcher's stack does not grow with them.
        {{u"/" + long_text, u"/InstallType:MACHINE", u"/Pad:" + long_text},
         {{long_text, u""}, {u"InstallType", u"MACHINE"}, {u"Pad", long_text}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        FakePlatform machine;
        machine.arguments->insert(machine.arguments->end(), c.arguments.begin(), c.arguments.end());
        const SwitchMap switches = ParseSwitches(machine, machine.command_line);
        EXPECT_EQ(switches, c.expected);
        EXPECT_EQ(IsMachineInstallType(switches), c.machine_wide);
    }
}

TEST(ParseSwitches, NeverExaminesTheProgramPathAndTakesAnUnsplittableLineAsNoSwitches) {
    FakePlatform machine;
    machine.arguments = {u"/InstallType:MACHINE", u"/X"};
    EXPECT_EQ(ParseSwitches(machine, machine.command_line), (SwitchMap{{u"X", u""}}));
    machine.Fail("CommandLineToArgvW", 0);
    EXPECT_TRUE(ParseSwitches(machine, machine.command_line).empty());
}

}  // namespace
}  // namespace halvern
