#include "platform/projection/hresult_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <typeinfo>

namespace winrt {
namespace {

template <typename Kind>
bool RaisesKind(hresult code) {
    try {
        throw_hresult(code, u"text");
    } catch (const Kind& error) {
        return typeid(error) == typeid(Kind) && error.code() == code && error.message() == u"text";
    } catch (...) {
    }
    return false;
}

TEST(ThrowHresult, RaisesTheSpecialisedKindOfEachMappedHresult) {
    EXPECT_TRUE(RaisesKind<hresult_access_denied>(static_cast<hresult>(0x80070005)));
    EXPECT_TRUE(RaisesKind<hresult_wrong_thread>(static_cast<hresult>(0x8001010E)));
    EXPECT_TRUE(RaisesKind<hresult_not_implemented>(static_cast<hresult>(0x80004001)));
    EXPECT_TRUE(RaisesKind<hresult_no_interface>(static_cast<hresult>(0x80004002)));
    EXPECT_TRUE(RaisesKind<hresult_invalid_argument>(static_cast<hresult>(0x80070057)));
    EXPECT_TRUE(RaisesKind<hresult_out_of_bounds>(static_cast<hresult>(0x8000000B)));
    EXPECT_TRUE(RaisesKind<hresult_class_not_available>(static_cast<hresult>(0x80040111)));
    EXPECT_TRUE(RaisesKind<hresult_changed_state>(static_cast<hresult>(0x8000000C)));
    EXPECT_TRUE(RaisesKind<hresult_illegal_method_call>(static_cast<hresult>(0x8000000E)));
    EXPECT_TRUE(RaisesKind<hresult_illegal_state_change>(static_cast<hresult>(0x8000000D)));
    EXPECT_TRUE(RaisesKind<hresult_illegal_delegate_assignment>(static_cast<hresult>(0x80000018)));
    EXPECT_TRUE(RaisesKind<hresult_canceled>(static_cast<hresult>(0x800704C7)));
}

TEST(ThrowHresult, RaisesPlainHresultErrorForOtherFailures) {
    for (hresult code :
         {static_cast<hresult>(0x80073CF1), static_cast<hresult>(0x80004005), static_cast<hresult>(1)}) {
        EXPECT_TRUE(RaisesKind<hresult_error>(code)) << code;
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
