#pragma once
// A message table the test fills; records every FormatMessageW request.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_messages_api.h"

namespace halvern::testing {

class FakeSystemMessages final : public SystemMessagesApi {
  public:
    std::optional<std::u16string> FormatMessageW(std::uint32_t message_id,
                                                 std::uint32_t language_id) override {
        requests.emplace_back(message_id, language_id);
        const auto found = texts.find({message_id, language_id});
        if (found == texts.end()) {
            return std::nullopt;
        }
        return found->second;
    }

    // Texts by message number and language; any other pair has no message.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::u16string> texts;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> requests;  // (message number, language)
};

}  // namespace halvern::testing
