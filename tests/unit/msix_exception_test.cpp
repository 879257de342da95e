#include "errors/msix_exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvern {
namespace {

TEST(ErrorCodeName, NamesEveryCodeOfTheTableAndEveryOtherValueUnknownError) {
    const std::u16string names[] = {
        u"URLEncodeFailure",
        u"PackageStageFailure",
        u"PackageProvisionFailure",
        u"PackageDeprovisionFailure",
        u"PackageAddFailure",
        u"PackageRemoveFailure",
        u"KernelLocatingFailure",
        u"KernelFunctionCallFailure",
        u"PackageCompatibilityFailure",
        u"ProcessorCompatibilityFailure",
        u"OperatingSystemCompatibilityFailure",
        u"FailureInInformingOmahaOfSuccess",
        u"MSIXFileNotFound",
        u"NoMSIXFileFlag",
        u"InvalidHalvernPackagingType",
        u"TH32CSError",
        u"ApplicationActivationFailure",
        u"FailedToMigrate",
        u"FailedToUnregisterFromOmaha",
        u"FindPackagesFailure",
        u"FindUsersFailure",
    };
    std::int32_t code = 2000;
    for (const auto& name : names) {
        EXPECT_EQ(ErrorCodeName(static_cast<MSIXErrorCode>(code)), name) << code;
        ++code;
    }
    EXPECT_EQ(ErrorCodeName(MSIXErrorCode::FailedToUnregisterFromOmaha), u"FailedToUnregisterFromOmaha");
    for (std::int32_t unknown : {1999, 2021, 0, -1, 1234, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(ErrorCodeName(static_cast<MSIXErrorCode>(unknown)), u"UnknownError") << unknown;
    }
}

TEST(MSIXException, CopiesARuntimeStringUpToItsFirstNul) {
    const char16_t raw[] = u"first\0second";
    const MSIXException error(RuntimeStringBuffer{raw, 12}, MSIXErrorCode::PackageRemoveFailure, -2147009295);
    EXPECT_EQ(error.message, u"first");
    EXPECT_EQ(error.code, MSIXErrorCode::PackageRemoveFailure);
    EXPECT_EQ(error.system_error, -2147009295);

    EXPECT_EQ(MSIXException(RuntimeStringBuffer{}, MSIXErrorCode::FindUsersFailure, 0).message, u"");
    const char16_t unterminated[] = {u'a', u'b', u'c'};
    EXPECT_EQ(MSIXException(RuntimeStringBuffer{unterminated, 2}, MSIXErrorCode::FindUsersFailure, 0).message,
              u"ab");
}

TEST(MSIXException, KeepsAWideMessageWhole) {
    const std::u16string text(u"File not found.\r\n\0tail", 22);
    const MSIXException error(text, MSIXErrorCode::FailedToUnregisterFromOmaha, 2);
    EXPECT_EQ(error.message, text);
}

TEST(MSIXException, IsNotCaughtByAStdExceptionHandler) {
    const auto raise = [] {
        try {
            throw MSIXException(u"text", MSIXErrorCode::FindPackagesFailure, 1);
        } catch (const std::exception&) {
            return false;
        }
    };
    EXPECT_THROW(raise(), MSIXException);
}

}  // namespace
}  // namespace halvern
