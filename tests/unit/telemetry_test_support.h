#pragma once
// A platform of fakes for the telemetry tests.

#include <optional>

#include "fakes/fake_command_line.h"
#include "fakes/fake_debug_output.h"
#include "fakes/fake_host_facts.h"
#include "fakes/fake_process_clock.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"
#include "fakes/fake_winhttp.h"
#include "fakes/uncalled_package_manager.h"
#include "platform/platform.h"
#include "unit/form_decoding.h"

namespace halvern::testing {

struct TelemetryTestPlatform {
    FakeDebugOutput debug;
    FakeCommandLine command_line{u"\"C:\\Tools\\HalvernCleanup.exe\" /InstallType:MACHINE", std::nullopt};
    FakeRegistry registry;
    FakeSystemMessages messages;
    FakeWinHttp winhttp;
    FakeHostFacts host;
    FakeProcessClock process_clock;
    UncalledPackageManager packages;
    Platform platform{.debug = debug,
                      .command_line = command_line,
                      .registry = registry,
                      .messages = messages,
                      .packages = packages,
                      .winhttp = winhttp,
                      .host = host,
                      .process_clock = process_clock};
};

}  // namespace halvern::testing
