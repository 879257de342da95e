// The production wiring, natively: the whole pass through ToolOperations over the fakes, from
// discovery to the events on the wire.

#include "app/tool_operations.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fakes/fake_command_line.h"
#include "fakes/fake_debug_output.h"
#include "fakes/fake_host_facts.h"
#include "fakes/fake_package_manager.h"
#include "fakes/fake_process_clock.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"
#include "fakes/fake_winhttp.h"
#include "unit/form_decoding.h"

namespace halvern {
namespace {

using namespace halvern::testing;

const std::u16string kClients = u"Software\\HalvernUpdate\\Update\\Clients\\";
const std::u16string kFamily = u"Halvern.Client_8wekyb3d8bbwe";

struct ToolRun {
    explicit ToolRun(std::vector<std::u16string> arguments) {
        arguments.insert(arguments.begin(), u"HalvernCleanup.exe");
        command_line.arguments = arguments;
    }
    void Register(RegistryKeyHandle hive, const std::u16string& app_id, const std::u16string& name,
                  const std::u16string& family) {
        registry.SetString(hive, kClients + app_id, u"name", name);
        registry.SetString(hive, kClients + app_id, u"pv", u"1.2.3");
        registry.SetString(hive, kClients + app_id, u"PackageFamilyName", family);
    }
    int Run() {
        Platform platform{debug, command_line, registry, messages, packages, winhttp, host, process_clock};
        ToolOperations operations(platform);
        return RunCleanupPass(platform, operations);
    }
    // The events sent, each as its fields by key.
    std::vector<std::map<std::u16string, std::u16string>> Events() const {
        std::vector<std::map<std::u16string, std::u16string>> events;
        for (const auto& body : winhttp.bodies) {
            const DecodedForm fields = DecodeForm(BodyText(body));
            events.emplace_back(fields.begin(), fields.end());
        }
        return events;
    }

    FakeDebugOutput debug;
    FakeCommandLine command_line;
    FakeRegistry registry;
    FakeSystemMessages messages;
    FakePackageManager packages;
    FakeWinHttp winhttp;
    FakeHostFacts host;
    FakeProcessClock process_clock;
};

TEST(ToolOperations, AMachineWideRunRemovesWithdrawsAndReportsEachStep) {
    ToolRun run({u"/InstallType:MACHINE"});
    run.Register(kHkeyLocalMachine, u"{A}", u"Halvern", kFamily);
    run.packages.AddPackage(MakePackageInfo(kFamily, u"1.2.3.4", u"Halvern Client"),
                            {{u"S-1-5-21-1001", Staged}});

    EXPECT_EQ(run.Run(), 0);

    EXPECT_EQ(run.debug.Messages(), (std::vector<std::u16string>{
                                        u"Start HalvernCleanup",
                                        u"Name: Halvern Version: 1.2.3 PackageFamilyName: " + kFamily,
                                        u"Got expected status code=200",
                                        u"Got expected status code=200",
                                        u"Halvern was cleaned up",
                                        u"Finish HalvernCleanup",
                                    }));
    EXPECT_FALSE(run.registry.KeyExists(kHkeyLocalMachine, kClients + u"{A}"));
    EXPECT_TRUE(run.packages.PackagesOf(kFamily).empty());
    EXPECT_FALSE(run.packages.IsProvisioned(kFamily));
    const auto events = run.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].at(u"event_type"), u"Remove_Package");
    EXPECT_EQ(events[0].at(u"app_name"), u"Halvern Client");
    EXPECT_EQ(events[0].at(u"version"), u"1.2.3");
    EXPECT_EQ(events[1].at(u"event_type"), u"Uninstall");
    EXPECT_EQ(events[1].at(u"app_name"), u"Halvern");
    for (const auto& event : events) {
        EXPECT_EQ(event.at(u"result"), u"success");
        EXPECT_EQ(event.at(u"install_type"), u"machine");
        EXPECT_EQ(event.at(u"package_family_name"), kFamily);
    }
}

TEST(ToolOperations, APerUserRunWithdrawsOnlyTheStaleRegistration) {
    ToolRun run({});
    const std::u16string live_family = u"Halvern.Beta_8wekyb3d8bbwe";
    run.Register(kHkeyCurrentUser, u"{A}", u"Stale", kFamily);
    run.Register(kHkeyCurrentUser, u"{B}", u"Live", live_family);
    run.packages.AddPackage(MakePackageInfo(live_family, u"2.0.0.0", u"Beta"),
                            {{run.packages.current_user, Installed}});

    EXPECT_EQ(run.Run(), 0);

    EXPECT_EQ(run.debug.Messages(), (std::vector<std::u16string>{
                                        u"Start HalvernCleanup",
                                        u"Name: Stale Version: 1.2.3 PackageFamilyName: " + kFamily,
                                        u"Got expected status code=200",
                                        u"Stale was cleaned up",
                                        u"Name: Live Version: 1.2.3 PackageFamilyName: " + live_family,
                                        u"Live was not cleaned up",
                                        u"Finish HalvernCleanup",
                                    }));
    EXPECT_FALSE(run.registry.KeyExists(kHkeyCurrentUser, kClients + u"{A}"));
    EXPECT_TRUE(run.registry.KeyExists(kHkeyCurrentUser, kClients + u"{B}"));
    const auto events = run.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].at(u"event_type"), u"Uninstall");
    EXPECT_EQ(events[0].at(u"install_type"), u"user");
    EXPECT_EQ(events[0].at(u"app_name"), u"Stale");
    EXPECT_TRUE(run.packages.CallsOf(PackageManagerFunction::RemovePackageForAllUsers).empty());
}

}  // namespace
}  // namespace halvern
