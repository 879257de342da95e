// Switch parsing over arbitrary arguments: never fails, and the map only ever holds well-formed
// switches, the first occurrence of each.
#include "app/switches.h"
#include "fakes/fake_command_line.h"
#include "fuzz_input.h"

namespace {

using halvern::fuzzing::Check;

bool IsName(const std::u16string& name) {
    if (name.empty()) {
        return false;
    }
    for (char16_t unit : name) {
        const bool alphanumeric = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
                                  (unit >= u'0' && unit <= u'9');
        if (!alphanumeric) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvern::fuzzing::FuzzInput input(data, size);
    std::vector<std::u16string> arguments{u"HalvernCleanup.exe"};
    while (!input.empty() && arguments.size() < 16) {
        arguments.push_back(input.Byte() < 128 ? input.Token(u"/:InstallTypeMACHINE\r\n x-=", 24)
                                               : input.Text(24));
    }
    halvern::testing::FakeCommandLine api(u"ignored", arguments);
    const halvern::SwitchMap switches = halvern::ParseSwitches(api, api.command_line);

    for (const auto& [name, value] : switches) {
        Check(IsName(name), "names are letters and digits");
        Check(value.find_first_of(u"\r\n") == std::u16string::npos, "values hold no line break");
        // The first argument that spells this switch supplied the value.
        for (std::size_t index = 1; index < arguments.size(); ++index) {
            const std::u16string& argument = arguments[index];
            const std::u16string bare = u"/" + name;
            if (argument == bare || argument.starts_with(bare + u":")) {
                const bool has_line_break = argument.find_first_of(u"\r\n") != std::u16string::npos;
                if (!has_line_break) {
                    Check(argument == bare ? value.empty() : argument.substr(bare.size() + 1) == value,
                          "the first occurrence wins");
                    break;
                }
            }
        }
    }
    const auto found = switches.find(u"InstallType");
    Check(halvern::IsMachineInstallType(switches) == (found != switches.end() && found->second == u"MACHINE"),
          "machine-wide exactly for InstallType MACHINE");
    return 0;
}
