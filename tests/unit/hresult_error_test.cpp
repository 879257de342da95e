#include "platform/projection/hresult_error.h"

#include <gtest/gtest.h>

#include <new>
#include <typeinfo>

namespace winrt {
namespace {

TEST(ThrowHresult, RaisesTheSpecialisedKindOfEachMappedHresultAndPlainHresultErrorOtherwise) {
    const std::pair<std::uint32_t, const std::type_info*> cases[] = {
        {0x80070005, &typeid(hresult_access_denied)},
        {0x8001010E, &typeid(hresult_wrong_thread)},
        {0x80004001, &typeid(hresult_not_implemented)},
        {0x80004002, &typeid(hresult_no_interface)},
        {0x80070057, &typeid(hresult_invalid_argument)},
        {0x8000000B, &typeid(hresult_out_of_bounds)},
        {0x80040111, &typeid(hresult_class_not_available)},
        {0x8000000C, &typeid(hresult_changed_state)},
        {0x8000000E, &typeid(hresult_illegal_method_call)},
        {0x8000000D, &typeid(hresult_illegal_state_change)},
        {0x80000018, &typeid(hresult_illegal_delegate_assignment)},
        {0x800704C7, &typeid(hresult_canceled)},
        {0x80073CF1, &typeid(hresult_error)},
        {0x80004005, &typeid(hresult_error)},
        {1, &typeid(hresult_error)},
    };
    for (const auto& [code, kind] : cases) {
        SCOPED_TRACE(code);
        try {
            throw_hresult(static_cast<hresult>(code), u"text");
        } catch (const hresult_error& error) {
            EXPECT_TRUE(typeid(error) == *kind) << typeid(error).name();
            EXPECT_EQ(error.code(), static_cast<hresult>(code));
            EXPECT_EQ(error.message(), u"text");
        }
    }
}

TEST(ThrowHresult, RaisesOutOfMemoryAsBadAlloc) {
    EXPECT_THROW(throw_hresult(static_cast<hresult>(0x8007000E), u"ignored"), std::bad_alloc);
}

TEST(HresultError, IsCaughtAsTheBaseTypeButNotAsStdException) {
    const auto raise = [] {
        try {
            throw_hresult(static_cast<hresult>(0x80070005), u"denied");
        } catch (const std::exception&) {
            return 0;
        } catch (const hresult_error& error) {
            return error.code();
        }
    };
    EXPECT_EQ(raise(), static_cast<hresult>(0x80070005));
}

}  // namespace
}  // namespace winrt
