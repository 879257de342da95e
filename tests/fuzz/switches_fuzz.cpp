// Switch parsing against its pattern run by the standard library's regex engine, kept here only as the
// oracle: for every argument list both give the same map.
#include <regex>

#include "common/switches.h"
#include "fakes/fake_platform.h"
#include "fuzz_input.h"

namespace {

using namespace std::string_view_literals;
using halvern::SwitchMap;
using halvern::fuzzing::Check;

SwitchMap OracleSwitches(const std::vector<std::u16string>& arguments) {
    static const std::wregex pattern(L"/([a-zA-Z0-9]+)(?::([^\\r\\n]*))?", std::regex::ECMAScript);
    SwitchMap switches;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        // Unit by unit, so that surrogate halves stay as they are whatever the width of wchar_t.
        const std::wstring argument(arguments[index].begin(), arguments[index].end());
        std::wsmatch match;
        if (std::regex_match(argument, match, pattern)) {
            const std::wstring name = match[1].str(), value = match[2].str();
            switches.try_emplace(std::u16string(name.begin(), name.end()),
                                 std::u16string(value.begin(), value.end()));
        }
    }
    return switches;
}

// Names, values, separators, quotes and blanks, line breaks and the Unicode ones, NUL, a non-ASCII
// letter, lone surrogates of both halves and a pair.
constexpr std::u16string_view kAlphabet =
    u"/:InstallTypeMACHINEaz09AZ@[`{_ \"\\-=\t\r\n\u2028\u2029\u00e9\0\xD800\xDC00\xD83D\xDE00"sv;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvern::fuzzing::FuzzInput input(data, size);
    // The program path too may look like a switch; it is never one. Up to a few hundred units, so long
    // names and values are tried as well as short ones.
    std::vector<std::u16string> arguments{input.Token(kAlphabet, 399)};
    while (!input.empty() && arguments.size() < 12) {
        arguments.push_back(input.Token(kAlphabet, 399));
    }
    halvern::testing::FakePlatform machine;
    machine.arguments = arguments;
    const SwitchMap switches = halvern::ParseSwitches(machine, machine.command_line);

    Check(switches == OracleSwitches(arguments), "the same map as the pattern gives");
    const auto found = switches.find(u"InstallType");
    Check(halvern::IsMachineInstallType(switches) == (found != switches.end() && found->second == u"MACHINE"),
          "machine-wide exactly for InstallType MACHINE");
    return 0;
}
