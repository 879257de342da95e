#pragma once
// Every seam to the operating system that the tool's logic uses. The entry point binds the real
// Win32 implementations; native tests bind fakes.

#include "platform/command_line_api.h"
#include "platform/debug_output_api.h"
#include "platform/host_facts_api.h"
#include "platform/package_manager_api.h"
#include "platform/process_clock_api.h"
#include "platform/registry_api.h"
#include "platform/system_messages_api.h"
#include "platform/winhttp_api.h"

namespace halvern {

struct Platform {
    DebugOutputApi& debug;
    CommandLineApi& command_line;
    RegistryApi& registry;
    SystemMessagesApi& messages;
    PackageManagerApi& packages;
    WinHttpApi& winhttp;
    HostFactsApi& host;
    ProcessClockApi& process_clock;
};

}  // namespace halvern
