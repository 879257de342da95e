#pragma once
// Records every debug-output call as it was made.

#include <string>
#include <vector>

#include "platform/debug_output_api.h"

namespace halvern::testing {

class FakeDebugOutput final : public DebugOutputApi {
  public:
    void OutputDebugStringW(const char16_t* text) override { calls.emplace_back(text); }

    // The lines without the prefix and the line feed; a call of another form is kept whole.
    std::vector<std::u16string> Messages() const {
        std::vector<std::u16string> messages;
        for (const auto& call : calls) {
            const std::u16string prefix = u"[HalvernMSIX] ";
            if (call.starts_with(prefix) && call.ends_with(u"\n")) {
                messages.push_back(call.substr(prefix.size(), call.size() - prefix.size() - 1));
            } else {
                messages.push_back(call);
            }
        }
        return messages;
    }

    std::vector<std::u16string> calls;
};

}  // namespace halvern::testing
