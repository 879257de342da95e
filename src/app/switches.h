#pragma once
// Slash switches of the command line: "/Name" or "/Name:value".

#include <string>
#include <unordered_map>

#include "platform/command_line_api.h"

namespace halvern {

using SwitchMap = std::unordered_map<std::u16string, std::u16string>;

// Splits the whole command line (program path first) and keeps the first occurrence of each
// well-formed switch. Anything else is skipped silently; nothing here fails on any input.
SwitchMap ParseSwitches(CommandLineApi& api, const std::u16string& command_line);

// True exactly when "InstallType" is present with the value "MACHINE" (case-sensitive).
bool IsMachineInstallType(const SwitchMap& switches);

}  // namespace halvern
