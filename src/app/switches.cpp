#include "app/switches.h"

#include <regex>

namespace halvern {
namespace {

// The regex library works on wchar_t, which is 32 bits on Linux and 16 on Windows. Copying code unit
// by code unit keeps surrogate halves as they are, so both builds see exactly the same units.
std::wstring ToRegexText(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string FromRegexText(const std::wstring& text) {
    std::u16string result;
    result.reserve(text.size());
    for (wchar_t unit : text) {
        result.push_back(static_cast<char16_t>(unit));
    }
    return result;
}

const std::wregex& SwitchPattern() {
    // "[^\r\n]" rather than ".": standard libraries disagree on whether "." also excludes U+2028 and
    // U+2029, and a value may hold any character except a line feed or carriage return.
    static const std::wregex pattern(L"/([a-zA-Z0-9]+)(?::([^\\r\\n]*))?", std::regex::ECMAScript);
    return pattern;
}

}  // namespace

SwitchMap ParseSwitches(CommandLineApi& api, const std::u16string& command_line) {
    SwitchMap switches;
    // A command line the system cannot split is treated as one without switches.
    const auto arguments = api.CommandLineToArgvW(command_line);
    if (!arguments || arguments->size() <= 1) {
        return switches;
    }
    for (std::size_t index = 1; index < arguments->size(); ++index) {
        const std::wstring argument = ToRegexText((*arguments)[index]);
        std::wsmatch match;
        if (!std::regex_match(argument, match, SwitchPattern())) {
            continue;
        }
        // try_emplace keeps the earlier value: the first occurrence of a switch wins.
        switches.try_emplace(FromRegexText(match[1].str()), FromRegexText(match[2].str()));
    }
    return switches;
}

bool IsMachineInstallType(const SwitchMap& switches) {
    const auto found = switches.find(u"InstallType");
    return found != switches.end() && found->second == u"MACHINE";
}

}  // namespace halvern
