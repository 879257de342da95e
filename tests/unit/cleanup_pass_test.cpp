#include "app/cleanup_pass.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "fakes/fake_command_line.h"
#include "fakes/fake_debug_output.h"
#include "fakes/fake_host_facts.h"
#include "fakes/fake_process_clock.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"
#include "fakes/fake_winhttp.h"
#include "fakes/uncalled_package_manager.h"

namespace halvern {
namespace {

using testing::FakeCommandLine;
using testing::FakeDebugOutput;
using testing::FakeRegistry;
using testing::FakeSystemMessages;
using testing::UncalledPackageManager;

class ScriptedOperations final : public CleanupOperations {
  public:
    std::vector<InstallationRecord> DiscoverInstallations(bool machine_wide) override {
        discovered.push_back(machine_wide);
        if (discovery_fails) {
            throw std::bad_alloc();
        }
        return records;
    }
    bool CleanUpPerUser(const InstallationRecord& record) override { return Run(u"user", record); }
    bool CleanUpMachineWide(const InstallationRecord& record) override { return Run(u"machine", record); }

    std::vector<InstallationRecord> records;
    bool discovery_fails = false;
    std::function<bool(const InstallationRecord&)> outcome = [](const InstallationRecord&) { return true; };
    std::vector<bool> discovered;
    std::vector<std::u16string> cleanups;  // "user:<app id>" or "machine:<app id>"

  private:
    bool Run(const std::u16string& mode, const InstallationRecord& record) {
        cleanups.push_back(mode + u":" + record.app_id);
        return outcome(record);
    }
};

// The pass hands the package manager on to the cleanup operations and never calls it itself.
struct PassRun {
    explicit PassRun(std::vector<std::u16string> arguments) {
        arguments.insert(arguments.begin(), u"HalvernCleanup.exe");
        command_line.arguments = std::move(arguments);
    }
    int Run() {
        Platform platform{debug, command_line, registry, messages, packages, winhttp, host, process_clock};
        return RunCleanupPass(platform, operations);
    }
    FakeDebugOutput debug;
    FakeCommandLine command_line;
    FakeRegistry registry;
    FakeSystemMessages messages;
    UncalledPackageManager packages;
    testing::FakeWinHttp winhttp;
    testing::FakeHostFacts host;
    testing::FakeProcessClock process_clock;
    ScriptedOperations operations;
};

const InstallationRecord kFirst{u"{A}", u"Halvern", u"1.2.3", u"Halvern.Client_abc"};
const InstallationRecord kNoFamily{u"{B}", u"Legacy", u"0.9", u""};
const InstallationRecord kThird{u"{C}", u"Halvern Beta", u"2.0", u"Halvern.Beta_abc"};

TEST(CleanupPass, WithNothingRegisteredWritesOnlyTheStartAndFinishLines) {
    PassRun run({});
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.debug.calls, (std::vector<std::u16string>{u"[HalvernMSIX] Start HalvernCleanup\n",
                                                            u"[HalvernMSIX] Finish HalvernCleanup\n"}));
    EXPECT_EQ(run.operations.discovered, std::vector<bool>{false});
}

TEST(CleanupPass, AnnouncesEachInstallationWithAFamilyAndSkipsTheOthersWithoutATrace) {
    PassRun run({});
    run.operations.records = {kFirst, kNoFamily, kThird};
    run.operations.outcome = [](const InstallationRecord& record) { return record.app_id == u"{A}"; };

    EXPECT_EQ(run.Run(), 0);

    EXPECT_EQ(run.debug.Messages(),
              (std::vector<std::u16string>{
                  u"Start HalvernCleanup",
                  u"Name: Halvern Version: 1.2.3 PackageFamilyName: Halvern.Client_abc",
                  u"Halvern was cleaned up",
                  u"Name: Halvern Beta Version: 2.0 PackageFamilyName: Halvern.Beta_abc",
                  u"Halvern Beta was not cleaned up",
                  u"Finish HalvernCleanup",
              }));
    EXPECT_EQ(run.operations.cleanups, (std::vector<std::u16string>{u"user:{A}", u"user:{C}"}));
}

TEST(CleanupPass, WritesEmptyNameAndVersionUnchanged) {
    PassRun run({});
    run.operations.records = {{u"{A}", u"", u"", u"Fam_x"}};
    run.Run();
    EXPECT_EQ(run.debug.Messages()[1], u"Name:  Version:  PackageFamilyName: Fam_x");
    EXPECT_EQ(run.debug.Messages()[2], u" was cleaned up");
}

TEST(CleanupPass, DispatchesByTheInstallTypeSwitch) {
    const std::pair<std::vector<std::u16string>, bool> cases[] = {
        {{}, false},
        {{u"/InstallType:MACHINE"}, true},
        {{u"/InstallType:machine"}, false},
        {{u"/InstallType:USER"}, false},
        {{u"/InstallType:USER", u"/InstallType:MACHINE"}, false},
    };
    for (const auto& [arguments, machine_wide] : cases) {
        PassRun run(arguments);
        run.operations.records = {kFirst, kThird};
        run.Run();
        EXPECT_EQ(run.operations.discovered, std::vector<bool>{machine_wide});
        const std::u16string mode = machine_wide ? u"machine:" : u"user:";
        EXPECT_EQ(run.operations.cleanups, (std::vector<std::u16string>{mode + u"{A}", mode + u"{C}"}));
    }
}

TEST(CleanupPass, GoesOnAndExitsZeroWhenEveryCleanupFails) {
    PassRun run({u"/InstallType:MACHINE"});
    run.operations.records = {kFirst, kThird};
    run.operations.outcome = [](const InstallationRecord&) { return false; };
    EXPECT_EQ(run.Run(), 0);
    const auto messages = run.debug.Messages();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[2], u"Halvern was not cleaned up");
    EXPECT_EQ(messages[4], u"Halvern Beta was not cleaned up");
}

TEST(CleanupPass, CountsAnExceptionEscapingOneCleanupAsNotCleanedUpAndGoesOn) {
    const std::function<bool(const InstallationRecord&)> throwers[] = {
        [](const InstallationRecord&) -> bool { throw std::bad_alloc(); },
        [](const InstallationRecord&) -> bool { throw std::runtime_error("upload failed"); },
        [](const InstallationRecord&) -> bool { throw 42; },
    };
    for (const auto& thrower : throwers) {
        PassRun run({});
        run.operations.records = {kFirst, kThird};
        run.operations.outcome = [&](const InstallationRecord& record) {
            return record.app_id == u"{A}" ? thrower(record) : true;
        };
        EXPECT_EQ(run.Run(), 0);
        EXPECT_EQ(run.debug.Messages(),
                  (std::vector<std::u16string>{
                      u"Start HalvernCleanup",
                      u"Name: Halvern Version: 1.2.3 PackageFamilyName: Halvern.Client_abc",
                      u"Halvern was not cleaned up",
                      u"Name: Halvern Beta Version: 2.0 PackageFamilyName: Halvern.Beta_abc",
                      u"Halvern Beta was cleaned up",
                      u"Finish HalvernCleanup",
                  }));
    }
}

TEST(CleanupPass, FinishesWithNothingCleanedWhenDiscoveryRaises) {
    PassRun run({});
    run.operations.records = {kFirst};
    run.operations.discovery_fails = true;
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.debug.Messages(),
              (std::vector<std::u16string>{u"Start HalvernCleanup", u"Finish HalvernCleanup"}));
    EXPECT_TRUE(run.operations.cleanups.empty());
}

}  // namespace
}  // namespace halvern
