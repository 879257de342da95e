#pragma once
// Slash switches of the command line: "/Name" or "/Name:value".

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/scope.h"
#include "platform/command_line_api.h"

namespace halvern {

using SwitchMap = std::unordered_map<std::u16string, std::u16string>;

// Name and value of one argument that is wholly a switch: "/" + ASCII letters and digits, then
// optionally ":" + any text without a line feed or carriage return. Nothing for anything else.
std::optional<std::pair<std::u16string, std::u16string>> MatchSwitch(std::u16string_view argument);

// Splits the whole command line (program path first) and keeps the first occurrence of each
// well-formed switch. Anything else is skipped silently; nothing here fails on any input.
SwitchMap ParseSwitches(CommandLineApi& api, const std::u16string& command_line);

// True exactly when "InstallType" is present with the value "MACHINE" (case-sensitive).
bool IsMachineInstallType(const SwitchMap& switches);

// The scope of the run the switches select: the machine exactly when IsMachineInstallType.
inline Scope RunScope(const SwitchMap& switches) {
    return IsMachineInstallType(switches) ? Scope::Machine : Scope::User;
}

}  // namespace halvern
