// The program an empty pass is measured against: built like HalvernCleanup.exe (GUI subsystem, static
// runtime), importing what an empty pass needs (kernel32, advapi32, shell32), and doing nothing.

#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
    // Never taken (no show command is negative): it only makes the imports.
    if (show < 0) {
        int count = 0;
        ::LocalFree(::CommandLineToArgvW(L"", &count));
        ::RegCloseKey(HKEY_CURRENT_USER);
    }
    return 0;
}
