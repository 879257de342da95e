// Switch parsing against its pattern run by the standard library's regex engine, kept here only as the
// oracle: for every argument list both give the same map.
#include <regex>

#include "app/switches.h"
#include "fakes/fake_platform.h"
#include "fuzz_input.h"

namespace {

using namespace std::string_view_literals;
using halvern::SwitchMap;
using halvern::fuzzing::Check;

// Unit by unit, so that surrogate halves stay as they are whatever the width of wchar_t.
std::wstring ToWide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string FromWide(const std::wstring& text) {
    std::u16string result;
    for (const wchar_t unit : text) {
        result.push_back(static_cast<char16_t>(unit));
    }
    return result;
}

SwitchMap OracleSwitches(const std::vector<std::u16string>& arguments) {
    static const std::wregex pattern(L"/([a-zA-Z0-9]+)(?::([^\\r\\n]*))?", std::regex::ECMAScript);
    SwitchMap switches;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::wstring argument = ToWide(arguments[index]);
        std::wsmatch match;
        if (std::regex_match(argument, match, pattern)) {
            switches.try_emplace(FromWide(match[1].str()), FromWide(match[2].str()));
        }
    }
    return switches;
}

// Names, values, separators, quotes and blanks, line breaks and the Unicode ones, NUL, a non-ASCII
// letter, lone surrogates of both halves and a pair.
constexpr std::u16string_view kAlphabet =
    u"/:InstallTypeMACHINEaz09AZ@[`{_ \"\\-=\t\r\n\u2028\u2029\u00e9\0\xD800\xDC00\xD83D\xDE00"sv;

std::u16string Argument(halvern::fuzzing::FuzzInput& input) {
    // Up to a few hundred units, so long names and values are tried as well as short ones.
    const std::size_t length = (input.Byte() | (input.Byte() << 8)) % 400;
    std::u16string text;
    for (std::size_t index = 0; index < length && !input.empty(); ++index) {
        const std::uint8_t pick = input.Byte();
        text.push_back(pick < 240 ? kAlphabet[pick % kAlphabet.size()] : static_cast<char16_t>(pick * 257));
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvern::fuzzing::FuzzInput input(data, size);
    // The program path too may look like a switch; it is never one.
    std::vector<std::u16string> arguments{Argument(input)};
    while (!input.empty() && arguments.size() < 12) {
        arguments.push_back(Argument(input));
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
