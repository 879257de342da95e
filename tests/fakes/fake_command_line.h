#pragma once
// A command line whose splitting the test decides; records what it was asked to split.

#include <optional>
#include <string>
#include <vector>

#include "platform/command_line_api.h"

namespace halvern::testing {

class FakeCommandLine final : public CommandLineApi {
  public:
    FakeCommandLine() = default;
    FakeCommandLine(std::u16string line, std::optional<std::vector<std::u16string>> split)
        : command_line(std::move(line)), arguments(std::move(split)) {}

    std::u16string GetCommandLineW() override { return command_line; }

    std::optional<std::vector<std::u16string>> CommandLineToArgvW(const std::u16string& line) override {
        split_requests.push_back(line);
        return arguments;
    }

    std::u16string command_line = u"HalvernCleanup.exe";
    std::optional<std::vector<std::u16string>> arguments = std::vector<std::u16string>{u"HalvernCleanup.exe"};
    std::vector<std::u16string> split_requests;
};

}  // namespace halvern::testing
