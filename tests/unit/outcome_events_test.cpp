#include "errors/outcome_events.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "errors/telemetry_outcome_reporter.h"
#include "telemetry_test_support.h"

namespace halvern {
namespace {

using testing::BodyText;
using testing::DecodeForm;
using testing::TelemetryTestPlatform;

const std::u16string kName = u"A & B";
const std::u16string kFamily = u"Halvern.Client_abc";
const std::u16string kVersion = u"1.2.3";

// The fields the receiver got, by key; a key sent twice fails the test.
std::map<std::u16string, std::u16string> SentFields(const TelemetryTestPlatform& test) {
    std::map<std::u16string, std::u16string> fields;
    for (const auto& [key, value] : DecodeForm(BodyText(test.winhttp.body))) {
        EXPECT_TRUE(fields.emplace(key, value).second) << "sent twice";
    }
    return fields;
}

TEST(ReportSuccess, SendsASuccessEventWithoutErrorFields) {
    struct Case {
        EventKind kind;
        bool machine_wide;
        std::u16string name;
        std::u16string family;
        std::u16string version;
        std::u16string event_type;
        std::u16string install_type;
    };
    const Case cases[] = {
        {RemovePackage, true, kName, kFamily, kVersion, u"Remove_Package", u"machine"},
        {Uninstall, false, u"", u"", u"", u"Uninstall", u"user"},
    };
    for (const Case& c : cases) {
        TelemetryTestPlatform test;
        EXPECT_EQ(ReportSuccess(test.platform, c.kind, c.machine_wide, c.name, c.family, c.version), 0u);
        const auto fields = SentFields(test);
        EXPECT_EQ(fields.at(u"result"), u"success");
        EXPECT_EQ(fields.at(u"event_type"), c.event_type);
        EXPECT_EQ(fields.at(u"install_type"), c.install_type);
        EXPECT_EQ(fields.at(u"app_name"), c.name);
        EXPECT_EQ(fields.at(u"package_family_name"), c.family);
        EXPECT_EQ(fields.at(u"version"), c.version);
        EXPECT_EQ(fields.count(u"error_code"), 0u);
        EXPECT_EQ(fields.count(u"error_message"), 0u);
        EXPECT_EQ(test.debug.Messages(), std::vector<std::u16string>{u"Got expected status code=200"});
    }
}

TEST(ReportMSIXFailure, SendsTheSystemErrorAndTheNamedCode) {
    struct Case {
        MSIXErrorCode code;
        std::int32_t system_error;
        std::u16string message;
        std::u16string error_code;
        std::u16string error_message;
    };
    const Case cases[] = {
        {MSIXErrorCode::FailedToUnregisterFromOmaha, 2, u"File not found.\r\n", u"2",
         u"MSIXError(FailedToUnregisterFromOmaha): File not found.\r\n"},
        {static_cast<MSIXErrorCode>(1234), 0, u"odd", u"0", u"MSIXError(UnknownError): odd"},
        {MSIXErrorCode::PackageRemoveFailure, -2147024891, u"x=1&y=2", u"-2147024891",
         u"MSIXError(PackageRemoveFailure): x=1&y=2"},
        {MSIXErrorCode::FindPackagesFailure, -5, u"", u"-5", u"MSIXError(FindPackagesFailure): "},
    };
    for (const auto& c : cases) {
        TelemetryTestPlatform test;
        const MSIXException error(c.message, c.code, c.system_error);
        EXPECT_EQ(ReportMSIXFailure(test.platform, Uninstall, false, kName, kFamily, kVersion, error), 0u);
        const auto fields = SentFields(test);
        EXPECT_EQ(fields.at(u"result"), u"failure");
        EXPECT_EQ(fields.at(u"event_type"), u"Uninstall");
        EXPECT_EQ(fields.at(u"error_code"), c.error_code);
        EXPECT_EQ(fields.at(u"error_message"), c.error_message);
    }
}

TEST(ReportHresultFailure, CarriesTheSignedHresultOnlyInTheMessage) {
    struct Case {
        winrt::hresult code;
        std::u16string message;
        std::u16string error_message;
    };
    const Case cases[] = {
        {static_cast<winrt::hresult>(2147942405u), u"Access denied.\r\n",
         u"winrt::hresult_error(-2147024891): Access denied.\r\n"},
        {winrt::hresults::kFail, u"", u"winrt::hresult_error(-2147467259): "},
        {1, u"S_FALSE", u"winrt::hresult_error(1): S_FALSE"},
        {static_cast<winrt::hresult>(0x80070490), std::u16string(u"Element not found.\0junk", 23),
         u"winrt::hresult_error(-2147023728): Element not found."},
    };
    for (const auto& c : cases) {
        TelemetryTestPlatform test;
        const winrt::hresult_error error(c.code, c.message);
        ReportHresultFailure(test.platform, RemovePackage, true, kName, kFamily, kVersion, error);
        const auto fields = SentFields(test);
        EXPECT_EQ(fields.at(u"result"), u"failure");
        EXPECT_EQ(fields.count(u"error_code"), 0u);
        EXPECT_EQ(fields.at(u"error_message"), c.error_message);
    }
}

TEST(ReportStdFailure, WidensTheExceptionText) {
    const std::runtime_error plain("bad allocation");
    const std::runtime_error narrow_bytes("caf\xc3\xa9");
    const std::logic_error empty("");
    struct Case {
        const std::exception& error;
        std::u16string text;
    };
    const Case cases[] = {
        {plain, u"std::exception: bad allocation"},
        {narrow_bytes, u"std::exception: caf\u00c3\u00a9"},  // one unit per byte, not decoded
        {empty, u"std::exception: "},
    };
    for (const auto& c : cases) {
        TelemetryTestPlatform test;
        ReportStdFailure(test.platform, Uninstall, false, kName, kFamily, kVersion, c.error);
        const auto fields = SentFields(test);
        EXPECT_EQ(fields.count(u"error_code"), 0u);
        EXPECT_EQ(fields.at(u"error_message"), c.text);
    }
}

TEST(OutcomeReports, ReturnTheUploadsResultWhateverTheStatus) {
    TelemetryTestPlatform failing;
    failing.winhttp.fail_call = u"WinHttpSendRequest";
    failing.winhttp.fail_error = 12029;
    EXPECT_EQ(ReportSuccess(failing.platform, Uninstall, false, kName, kFamily, kVersion), 12029u);
    EXPECT_EQ(failing.debug.Messages(),
              std::vector<std::u16string>{u"WinHttpSendRequest failed with error 12029"});

    TelemetryTestPlatform rejected;
    rejected.winhttp.status_code = 500;
    EXPECT_EQ(ReportStdFailure(rejected.platform, Uninstall, false, kName, kFamily, kVersion,
                               std::runtime_error("x")),
              0u);
    EXPECT_EQ(rejected.debug.Messages(), std::vector<std::u16string>{u"Unexpected status code=500"});
}

TEST(TelemetryOutcomeReporter, PassesEachReportOnWithItsArguments) {
    TelemetryTestPlatform test;
    TelemetryOutcomeReporter reporter(test.platform);
    OutcomeReporter& outcomes = reporter;

    outcomes.ReportSuccess(RemovePackage, true, u"N1", u"F1", u"V1");
    auto fields = SentFields(test);
    EXPECT_EQ(fields.at(u"event_type") + fields.at(u"install_type") + fields.at(u"result"),
              u"Remove_Packagemachinesuccess");
    EXPECT_EQ(fields.at(u"app_name") + fields.at(u"package_family_name") + fields.at(u"version"), u"N1F1V1");

    outcomes.ReportMSIXFailure(Uninstall, false, u"N2", u"F2", u"V2",
                               MSIXException(u"m", MSIXErrorCode::FindUsersFailure, 7));
    fields = SentFields(test);
    EXPECT_EQ(fields.at(u"event_type") + fields.at(u"install_type") + fields.at(u"result"),
              u"Uninstalluserfailure");
    EXPECT_EQ(fields.at(u"app_name") + fields.at(u"package_family_name") + fields.at(u"version"), u"N2F2V2");
    EXPECT_EQ(fields.at(u"error_message"), u"MSIXError(FindUsersFailure): m");

    outcomes.ReportHresultFailure(RemovePackage, false, u"N3", u"F3", u"V3", winrt::hresult_error(5, u"h"));
    fields = SentFields(test);
    EXPECT_EQ(fields.at(u"app_name") + fields.at(u"package_family_name") + fields.at(u"version"), u"N3F3V3");
    EXPECT_EQ(fields.at(u"error_message"), u"winrt::hresult_error(5): h");

    outcomes.ReportStdFailure(Uninstall, true, u"N4", u"F4", u"V4", std::logic_error("s"));
    fields = SentFields(test);
    EXPECT_EQ(fields.at(u"install_type"), u"machine");
    EXPECT_EQ(fields.at(u"app_name") + fields.at(u"package_family_name") + fields.at(u"version"), u"N4F4V4");
    EXPECT_EQ(fields.at(u"error_message"), u"std::exception: s");
}

}  // namespace
}  // namespace halvern
