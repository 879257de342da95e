// Test debuggee: halvern_debug_writer.exe <exit code> [W|A]<text>... writes each text with
// OutputDebugStringW (W) or OutputDebugStringA (A), one call each, then exits with the code.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    for (int index = 2; index < argc; ++index) {
        const std::wstring argument = argv[index];
        const std::wstring text = argument.substr(1);
        if (argument.front() == L'A') {
            ::OutputDebugStringA(std::string(text.begin(), text.end()).c_str());  // Latin-1 texts only
        } else {
            ::OutputDebugStringW(text.c_str());
        }
    }
    return argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 0;
}
