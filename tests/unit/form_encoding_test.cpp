#include "telemetry/form_encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "app/decimal_text.h"
#include "telemetry_test_support.h"

namespace halvern {
namespace {

using testing::DecodedForm;
using testing::DecodeForm;

TelemetryEvent EventWithEveryField() {
    TelemetryEvent event;
    event.timestamp_ms = 1704164645678;
    event.installer_name = u"HalvernCleanup";
    event.app_name = u"Halvern";
    event.event_type = u"Uninstall";
    event.updater_id = u"{UID}";
    event.os_version = u"10.0.19045.3803";
    event.arch = u"x64";
    event.duration_ms = 1234;
    event.command_line = u"x.exe /InstallType:MACHINE";
    event.package_family_name = u"Halvern.Client_abc";
    event.version = u"1.2.3";
    event.result = u"failure";
    event.error_code = -5;
    event.error_message = u"MSIXError(PackageRemoveFailure): no";
    event.install_type = u"machine";
    return event;
}

TEST(BuildFormFields, GivesEveryPresentFieldOnceInTheFixedOrder) {
    const FormFields expected = {
        {u"timestamp_ms", u"1704164645678"},
        {u"installer_name", u"HalvernCleanup"},
        {u"app_name", u"Halvern"},
        {u"event_type", u"Uninstall"},
        {u"package_family_name", u"Halvern.Client_abc"},
        {u"version", u"1.2.3"},
        {u"updater_id", u"{UID}"},
        {u"os_version", u"10.0.19045.3803"},
        {u"arch", u"x64"},
        {u"result", u"failure"},
        {u"error_code", u"-5"},
        {u"error_message", u"MSIXError(PackageRemoveFailure): no"},
        {u"duration_ms", u"1234"},
        {u"install_type", u"machine"},
        {u"command_line", u"x.exe /InstallType:MACHINE"},
    };
    EXPECT_EQ(BuildFormFields(EventWithEveryField()), expected);
}

TEST(BuildFormFields, LeavesOutAbsentFieldsAndKeepsPresentEmptyOnes) {
    TelemetryEvent event;
    event.timestamp_ms = -1;
    event.package_family_name = u"";
    event.error_code = 0;
    event.duration_ms = 0;
    const FormFields expected = {
        {u"timestamp_ms", u"-1"},      {u"installer_name", u""}, {u"app_name", u""},     {u"event_type", u""},
        {u"package_family_name", u""}, {u"error_code", u"0"},    {u"duration_ms", u"0"},
    };
    EXPECT_EQ(BuildFormFields(event), expected);
}

TEST(SignedDecimalText, WritesSignAndDigitsOnly) {
    const std::pair<std::int64_t, std::u16string> cases[] = {
        {0, u"0"},
        {7, u"7"},
        {-5, u"-5"},
        {1704164645678, u"1704164645678"},
        {-2147024891, u"-2147024891"},
        {std::numeric_limits<std::int64_t>::max(), u"9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), u"-9223372036854775808"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(SignedDecimalText(value), text) << value;
    }
}

TEST(EscapeFormText, EncodesExactlyTheFourSeparatorCharacters) {
    EXPECT_EQ(EscapeFormText(u"A & B = 100% + more"), u"A %26 B %3D 100%25 %2B more");
    EXPECT_EQ(EscapeFormText(u"%26"), u"%2526");
    EXPECT_EQ(EscapeFormText(u"x&result=success"), u"x%26result%3Dsuccess");
    // Everything else stays as it is, line breaks, quotes, non-ASCII and lone surrogates included.
    const std::u16string untouched = u"C:\\a b\\x.exe \"/q\" ?#;\r\n\t\u00e9\u2603\U0001F600\xD800x";
    EXPECT_EQ(EscapeFormText(untouched), untouched);
    EXPECT_EQ(EscapeFormText(u""), u"");
}

TEST(EncodeFormBody, JoinsPairsWithSingleSeparators) {
    EXPECT_EQ(EncodeFormBody({{u"a", u"1"}, {u"b", u""}, {u"c", u"x y"}}), u"a=1&b=&c=x y");
    EXPECT_EQ(EncodeFormBody({{u"only", u""}}), u"only=");
    EXPECT_EQ(EncodeFormBody({}), u"");
}

// Random keys and values round-trip in tests/fuzz/form_encoding_fuzz.cpp.
TEST(EncodeFormBody, EscapedKeysAndValuesCannotForgeOrSplitFields) {
    const FormFields fields = {
        {u"app_name", u"x&result=success"}, {u"result", u"failure"}, {u"k=1&x+%", u"50% + more"}};
    const std::u16string body = EncodeFormBody(fields);
    EXPECT_EQ(body, u"app_name=x%26result%3Dsuccess&result=failure&k%3D1%26x%2B%25=50%25 %2B more");
    EXPECT_EQ(DecodeForm(body), (DecodedForm{fields.begin(), fields.end()}));
}

}  // namespace
}  // namespace halvern
