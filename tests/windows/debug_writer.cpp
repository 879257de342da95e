// Test debuggee: halvern_debug_writer.exe <exit code> [W|A]<text>... writes each text with
// OutputDebugStringW (W) or OutputDebugStringA (A), one call each, then exits with the code. S<count> writes
// count bytes into an 8-byte stack buffer instead: built as the shipped exes are, with their stack
// protector, it must not return from that once the count reaches the buffer's stack guard.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

__attribute__((noinline)) void Overrun(std::size_t count) {
    char buffer[8];
    std::memset(buffer, 'x', count);
    asm volatile("" : : "r"(buffer) : "memory");  // the writes stay: the buffer escapes
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int index = 2; index < argc; ++index) {
        const std::wstring argument = argv[index];
        const std::wstring text = argument.substr(1);
        if (argument.front() == L'S') {
            Overrun(std::wcstoul(text.c_str(), nullptr, 10));
        } else if (argument.front() == L'A') {
            ::OutputDebugStringA(std::string(text.begin(), text.end()).c_str());  // Latin-1 texts only
        } else {
            ::OutputDebugStringW(text.c_str());
        }
    }
    return argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 0;
}
