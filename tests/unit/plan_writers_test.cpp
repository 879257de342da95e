// The preview's writers where no scenario reaches: what UTF-8 cannot carry or would break a line, and a
// number for an install state Windows does not name; and how its command line picks the form and the mode.
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "preview/escaped_utf8.h"
#include "preview/plan_json.h"
#include "preview/plan_report.h"
#include "preview/preview_output.h"

namespace halvern {
namespace {

TEST(PlanWriters, EscapeControlCharactersAndReplaceLoneSurrogatesInJsonOnly) {
    const std::pair<std::u16string, std::string> kJson[] = {
        {u"\"\\/\x01\x1f\x7f\x9f\xa0~", "\\\"\\\\/\\u0001\\u001f\\u007f\\u009f\xc2\xa0~"},
        {u"\xd800.\xdfff\xdc00\xd800", "\\ufffd.\\ufffd\\ufffd\\ufffd"},  // every parser takes U+FFFD
        {u"\xd83d\xde00\x00e9\x20ac", "\xf0\x9f\x98\x80\xc3\xa9\xe2\x82\xac"},
    };
    for (const auto& [text, json] : kJson) {
        EXPECT_EQ(EscapedUtf8(text, true), json);
    }
    EXPECT_EQ(EscapedUtf8(u"\"\\\n\xdfff\xd800", false), "\"\\\\u000a\\udfff\\ud800");  // as it is
}

TEST(PlanWriters, WriteEveryFieldAndAnUnnamedStateAsANumber) {
    const CleanupPlan plan{Scope::Machine,
                           {{{u"{1}", u"A", u"1.0", u"A_p"},
                             RegistrationDecision::Keep,
                             u"1 package would stay\r\n",
                             {{u"A_1__p", true, {}, PackageDecision::Keep, u"external"},
                              {u"A_2__p",
                               false,
                               {{u"S-1", PackageInstallState::Staged}, {u"S-2", PackageInstallState{3}}},
                               PackageDecision::Remove,
                               u"r"}}}}};
    EXPECT_EQ(
        PlanJson(plan),
        R"({"mode": "machine", "registrations": [{"app_id": "{1}", "name": "A", "version": "1.0", )"
        R"("package_family_name": "A_p", "decision": "keep", "reason": "1 package would stay\u000d\u000a", )"
        R"("packages": [{"full_name": "A_1__p", "external_location": true, "users": [], "decision": "keep", )"
        R"("reason": "external"}, {"full_name": "A_2__p", "external_location": false, "users": [{"sid": )"
        R"("S-1", "state": "Staged"}, {"sid": "S-2", "state": 3}], "decision": "remove", "reason": "r"}]}]})"
        "\n");
    EXPECT_EQ(PlanReport(plan),
              "Machine-wide run (HKEY_LOCAL_MACHINE): 1 registration(s). Nothing has been changed.\n\n"
              "{1} \"A\" version \"1.0\" family \"A_p\"\n  keep: 1 package would stay\n"
              "  package A_1__p (external location)\n    keep: external\n"
              "  package A_2__p\n    remove: r\n    users: S-1 Staged, S-2 3\n");
}

// Only "/Json" itself selects JSON, and only a machine-wide plan whose search is refused says to run
// elevated.
TEST(PreviewOutput, TakesJsonOnlyAsItIsAndHintsElevationOnlyForAMachineWidePlan) {
    const std::pair<std::vector<std::u16string>, std::string> cases[] = {
        {{u"/Json:yes"}, "Per-user run (HKEY_CURRENT_USER): 1 registration(s)"},
        {{u"/InstallType:MACHINE", u"/Json"},
         "{\"mode\": \"machine\", \"registrations\": [{\"app_id\": \"{1}\""},
    };
    for (const auto& [arguments, start] : cases) {
        testing::FakePlatform machine;
        machine.arguments->insert(machine.arguments->end(), arguments.begin(), arguments.end());
        for (const char* hive : {"HKCU", "HKLM"}) {
            machine.SetString(testing::FakePlatform::RegistrationPath(hive, u"{1}"), u"PackageFamilyName",
                              u"A_p");
        }
        machine.Fail("FindPackagesByUserSecurityIdPackageFamilyName", projection::hresults::kAccessDenied);
        machine.Fail("FindPackagesByPackageFamilyName", projection::hresults::kAccessDenied);
        const std::string output = PreviewOutput(machine, machine, machine);
        EXPECT_TRUE(output.starts_with(start)) << output;
        EXPECT_EQ(output.find("refused: run the preview elevated") != std::string::npos,
                  arguments.size() == 2);
    }
}

}  // namespace
}  // namespace halvern
