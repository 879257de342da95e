#include "common/switches.h"

namespace halvern {
namespace {

bool IsNameUnit(char16_t unit) {
    return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9');
}

}  // namespace

// The whole argument must be "/" + letters and digits, then optionally ":" + a value free of line
// feeds and carriage returns. One forward scan: the stack never grows with the argument, which may
// be as long as the 32,767-character command line.
std::optional<std::pair<std::u16string, std::u16string>> MatchSwitch(std::u16string_view argument) {
    if (argument.empty() || argument.front() != u'/') {
        return std::nullopt;
    }
    std::size_t end_of_name = 1;
    while (end_of_name < argument.size() && IsNameUnit(argument[end_of_name])) {
        ++end_of_name;
    }
    if (end_of_name == 1) {
        return std::nullopt;
    }
    const std::u16string_view name = argument.substr(1, end_of_name - 1);
    if (end_of_name == argument.size()) {
        return std::pair{std::u16string(name), std::u16string()};
    }
    if (argument[end_of_name] != u':') {
        return std::nullopt;
    }
    const std::u16string_view value = argument.substr(end_of_name + 1);
    if (value.find_first_of(u"\r\n") != std::u16string_view::npos) {
        return std::nullopt;
    }
    return std::pair{std::u16string(name), std::u16string(value)};
}

SwitchMap ParseSwitches(CommandLineApi& api, const std::u16string& command_line) {
    SwitchMap switches;
    // A command line the system cannot split is treated as one without switches.
    const auto arguments = api.CommandLineToArgvW(command_line);
    if (!arguments || arguments->size() <= 1) {
        return switches;
    }
    // The first argument is the program path, never a switch.
    for (std::size_t index = 1; index < arguments->size(); ++index) {
        if (auto match = MatchSwitch((*arguments)[index])) {
            // try_emplace keeps the earlier value: the first occurrence of a switch wins.
            switches.try_emplace(std::move(match->first), std::move(match->second));
        }
    }
    return switches;
}

bool IsMachineInstallType(const SwitchMap& switches) {
    const auto found = switches.find(u"InstallType");
    return found != switches.end() && found->second == u"MACHINE";
}

}  // namespace halvern
