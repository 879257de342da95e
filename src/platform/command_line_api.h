#pragma once
// Seam for the process command line (GetCommandLineW, CommandLineToArgvW).

#include <optional>
#include <string>
#include <vector>

namespace halvern {

class CommandLineApi {
  public:
    virtual ~CommandLineApi() = default;
    // The whole command line as the system holds it, program path included.
    virtual std::u16string GetCommandLineW() = 0;
    // The arguments as CommandLineToArgvW splits them; nothing when the system returns no array.
    virtual std::optional<std::vector<std::u16string>> CommandLineToArgvW(
        const std::u16string& command_line) = 0;
};

}  // namespace halvern
