#include "app/debug_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_debug_output.h"

namespace halvern {
namespace {

using testing::FakeDebugOutput;

TEST(WriteDebugLine, WritesPrefixMessageAndOneLineFeedInOneCall) {
    FakeDebugOutput output;
    WriteDebugLine(output, u"Start HalvernCleanup");
    WriteDebugLine(output, u"100% \"done\"\n");
    WriteDebugLine(output, u"");
    WriteDebugLine(output, u"Caf\u00e9 \U0001F600");
    EXPECT_EQ(output.calls, (std::vector<std::u16string>{
                                u"[HalvernMSIX] Start HalvernCleanup\n",
                                u"[HalvernMSIX] 100% \"done\"\n\n",
                                u"[HalvernMSIX] \n",
                                u"[HalvernMSIX] Caf\u00e9 \U0001F600\n",
                            }));
}

TEST(DecimalText, RendersUnsignedDecimalWithoutDecoration) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {0u, u"0"},
        {5u, u"5"},
        {10u, u"10"},
        {200u, u"200"},
        {12157u, u"12157"},
        {2147942405u, u"2147942405"},
        {4294967295u, u"4294967295"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(DecimalText(value), text) << value;
    }
}

}  // namespace
}  // namespace halvern
