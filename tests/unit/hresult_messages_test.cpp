// The message text of a failing HRESULT and check_hresult, through the seams: the restricted error
// information that Wine never supplies, and the system message table.
#include "platform/projection/hresult_messages.h"

#include <gtest/gtest.h>

#include <new>
#include <typeinfo>

#include "fakes/fake_restricted_error.h"
#include "fakes/fake_system_messages.h"

namespace halvern {
namespace {

using testing::FakeRestrictedError;
using testing::FakeSystemMessages;

constexpr std::int32_t kDenied = static_cast<std::int32_t>(0x80070005);
constexpr std::int32_t kInUse = static_cast<std::int32_t>(0x80073D02);

TEST(HresultMessages, ChoosesBetweenRestrictedAndSystemText) {
    struct Case {
        const char* name;
        std::int32_t restricted_status;
        std::int32_t restricted_error;
        std::optional<std::u16string> description;
        std::optional<std::u16string> restricted_description;
        std::optional<std::u16string> system_text;
        std::u16string expected;
        bool asks_system;
    };
    const Case cases[] = {
        {"restricted description for the same code", 0, kDenied, u"plain", u"restricted", u"sys\r\n",
         u"restricted", false},
        {"plain description when there is no restricted one", 0, kDenied, u"plain", std::nullopt, u"sys",
         u"plain", false},
        {"an empty restricted description still wins", 0, kDenied, u"plain", u"", u"sys", u"", false},
        {"nothing at all for the same code", 0, kDenied, std::nullopt, std::nullopt, u"sys", u"", false},
        {"information about another code", 0, kInUse, u"plain", u"restricted", u"sys\r\n", u"sys\r\n", true},
        {"no information (S_FALSE)", 1, kDenied, u"plain", u"restricted", u"sys", u"sys", true},
        {"the query fails (E_NOTIMPL, as on Wine)", static_cast<std::int32_t>(0x80004001), kDenied, u"plain",
         u"restricted", u"sys", u"sys", true},
        {"the system has no text", 1, 0, std::nullopt, std::nullopt, std::nullopt, u"", true},
        {"restricted text cut at its first NUL", 0, kDenied, u"plain", std::u16string(u"before\0after", 12),
         u"sys", u"before", false},
        {"plain text cut at its first NUL", 0, kDenied, std::u16string(u"one\0two", 7), std::nullopt, u"sys",
         u"one", false},
        {"system text cut at its first NUL", 1, 0, std::nullopt, std::nullopt,
         std::u16string(u"sys\0junk", 8), u"sys", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRestrictedError restricted;
        restricted.status = c.restricted_status;
        restricted.details = {c.description, c.restricted_error, c.restricted_description};
        FakeSystemMessages system;
        if (c.system_text) {
            system.texts[{0x80070005u, 0x0400u}] = *c.system_text;
        }
        EXPECT_EQ(HresultMessages(restricted, system).MessageFor(kDenied), c.expected);
        EXPECT_EQ(restricted.requests, 1);
        if (c.asks_system) {
            // The HRESULT as the message id, in the neutral default language.
            EXPECT_EQ(system.requests,
                      (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x80070005u, 0x0400u}}));
        } else {
            EXPECT_TRUE(system.requests.empty());
        }
    }
}

TEST(CheckHresult, DoesNothingForSuccessCodes) {
    FakeRestrictedError restricted;
    FakeSystemMessages system;
    const HresultMessages messages(restricted, system);
    for (const std::int32_t code : {0, 1, 0x7FFFFFFF}) {
        EXPECT_NO_THROW(winrt::check_hresult(code, messages));
    }
    EXPECT_EQ(restricted.requests, 0);
}

TEST(CheckHresult, RaisesTheKindWithTheChosenMessage) {
    FakeRestrictedError restricted;
    restricted.status = 0;
    restricted.details = {u"plain", kDenied, u"Access to the package was denied."};
    FakeSystemMessages system;
    system.texts[{0x80073D02u, 0x0400u}] = u"System text.\r\n";
    const HresultMessages messages(restricted, system);
    try {
        winrt::check_hresult(kDenied, messages);
        ADD_FAILURE() << "nothing raised";
    } catch (const winrt::hresult_access_denied& error) {
        EXPECT_EQ(error.code(), kDenied);
        EXPECT_EQ(error.message(), u"Access to the package was denied.");
    }
    try {
        winrt::check_hresult(kInUse, messages);
        ADD_FAILURE() << "nothing raised";
    } catch (const winrt::hresult_error& error) {
        EXPECT_EQ(typeid(error), typeid(winrt::hresult_error));
        EXPECT_EQ(error.message(), u"System text.\r\n");
    }
}

TEST(CheckHresult, RaisesOutOfMemoryAsBadAllocWithoutComposingAMessage) {
    FakeRestrictedError restricted;
    FakeSystemMessages system;
    EXPECT_THROW(
        winrt::check_hresult(static_cast<std::int32_t>(0x8007000E), HresultMessages(restricted, system)),
        std::bad_alloc);
    EXPECT_EQ(restricted.requests, 0);
    EXPECT_TRUE(system.requests.empty());
}

}  // namespace
}  // namespace halvern
