// HalvernCleanupPreview.exe: a console program that prints what HalvernCleanup.exe would do with the
// same command line, and why, and changes nothing. It links only the read-only bindings: the registry's
// reads, the package manager's questions, the command line and the system's message texts.
//
//   HalvernCleanupPreview.exe [/InstallType:MACHINE] [/Json]
//
// Exit code 0 once the plan is printed; 1, with one line on stderr, when it could not be.

#include <windows.h>

#include <string>

#include "platform/win32/standard_stream.h"
#include "platform/win32/win32_command_line.h"
#include "platform/win32/win32_registry_reader.h"
#include "platform/win32/win32_system_messages.h"
#include "platform/winrt/winrt_package_queries.h"
#include "preview/preview_output.h"

int wmain() {
    // As the tool: DLLs from System32 only, and the COM and Windows Runtime ones only when first needed.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    halvern::Win32CommandLine command_line;
    halvern::Win32RegistryReader registry;
    halvern::Win32SystemMessages messages;
    halvern::WinRtPackageQueries packages(messages);
    std::string output;
    try {
        output = halvern::PreviewOutput(command_line, registry, packages);
    } catch (...) {
        // Only running out of memory can get here.
        halvern::WriteStandardStream(STD_ERROR_HANDLE, "HalvernCleanupPreview: out of memory, no plan\n");
        return 1;
    }
    if (const DWORD error = halvern::WriteStandardStream(STD_OUTPUT_HANDLE, output); error != ERROR_SUCCESS) {
        halvern::WriteStandardStream(STD_ERROR_HANDLE,
                                     "HalvernCleanupPreview: the plan could not be written "
                                     "to standard output (error " +
                                         std::to_string(error) + ")\n");
        return 1;
    }
    return 0;
}
