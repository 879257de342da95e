#pragma once
// GetCommandLineW and CommandLineToArgvW (shell32); the argument array is freed with LocalFree.

#include "platform/command_line_api.h"

namespace halvern {

class Win32CommandLine final : public CommandLineApi {
  public:
    std::u16string GetCommandLineW() override;
    std::optional<std::vector<std::u16string>> CommandLineToArgvW(
        const std::u16string& command_line) override;
};

}  // namespace halvern
