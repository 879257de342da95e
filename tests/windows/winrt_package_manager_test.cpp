// The package manager bridge under Wine, against the test package manager component.
#include "platform/win32/winrt_package_manager.h"

#include <gtest/gtest.h>

#include "errors/msix_exception.h"
#include "platform/win32/win32_system_messages.h"
#include "test_package_manager_harness.h"

namespace halvern {
namespace {

using testing::TestPackageManager;

TEST(WinRtPackageManager, Smoke) {
    TestPackageManager component;
    component.Scenario("package Halvern.Client_1.2.3.4_x64__abc\ndisplay Halvern\nversion 1.2.3.4\n");
    Win32SystemMessages system;
    WinRtPackageManager bridge(system);
    try {
        const auto found = bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
        EXPECT_EQ(found.size(), 1u);
    } catch (const MSIXException& e) {
        ADD_FAILURE() << e.system_error;
    }
    for (const auto& line : component.Calls()) {
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace
}  // namespace halvern
