// HalvernCleanup.exe: a GUI-subsystem program that never opens a window. It runs one cleanup pass
// and exits with 0 whatever the outcomes.

#include <windows.h>

#include "app/cleanup_pass.h"
#include "platform/win32/win32_command_line.h"
#include "platform/win32/win32_debug_output.h"
#include "platform/win32/win32_host_facts.h"
#include "platform/win32/win32_process_clock.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_messages.h"
#include "platform/win32/win32_winhttp.h"
#include "platform/winrt/winrt_package_manager.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
    // Before anything loads a DLL: System32 only, never the exe's own folder, which may be writable by
    // users while we run as SYSTEM. WinHTTP and the COM and Windows Runtime DLLs are delay-loaded, so
    // they load from there when first needed, and a pass that needs none of them loads none.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    halvern::Win32DebugOutput debug;
    halvern::Win32CommandLine command_line;
    halvern::Win32Registry registry;
    halvern::Win32SystemMessages messages;
    halvern::WinRtPackageManager packages(messages);
    halvern::Win32WinHttp winhttp;
    halvern::Win32HostFacts host;
    halvern::Win32ProcessClock process_clock;
    halvern::Platform platform{debug,    command_line, registry, messages,
                               packages, winhttp,      host,     process_clock};
    try {
        return halvern::RunCleanupPass(platform);
    } catch (...) {
        // Only running out of memory can get here; the updater that runs us expects 0 regardless.
        return 0;
    }
}
