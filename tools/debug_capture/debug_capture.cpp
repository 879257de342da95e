// HalvernDebugCapture: runs a command line and writes every debug-output string the program sends to
// stdout as UTF-8, in order. Exits with the program's exit code. Without a listener, the lines
// HalvernCleanup writes are discarded by the system.
//
//   HalvernDebugCapture.exe <program> [arguments...]            the program runs as a debuggee
//   HalvernDebugCapture.exe /Monitor <program> [arguments...]   the program runs undebugged
//
// As a debugger it receives each string whole, in UTF-16 where the system sends it so. With /Monitor it
// reads them as a system debug-output viewer does, from the DBWIN buffer (ANSI, at most 4,095 bytes a
// string), and the program runs exactly as it does unattended. Under Wine that is also the only faithful
// way: Wine 8 gives a debuggee wrong register values after its first-chance C++ exceptions, which code
// built with clang trips over.
//
// Exit codes of its own: 2 for a missing command, 3 when the command cannot be started (nothing of it ran,
// so starting it again is safe), 4 when the capture fails after that (the debuggee is lost), or before it
// (another viewer holds the DBWIN buffer).

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/win32/win32_handles.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 3;
constexpr int kCaptureError = 4;
// The DBWIN buffer: the writer's process id, then the string with its NUL.
constexpr DWORD kDbwinBufferBytes = 4096;

// The rest of our own command line after the program name, untouched, so the debuggee's quoting and
// backslashes reach it exactly as typed. The program name ends as CommandLineToArgvW ends argv[0].
std::wstring CommandAfterProgramName(const wchar_t* command_line) {
    const wchar_t* cursor = command_line;
    if (*cursor == L'"') {
        ++cursor;
        while (*cursor != L'\0' && *cursor != L'"') {
            ++cursor;
        }
        if (*cursor == L'"') {
            ++cursor;
        }
    } else {
        while (*cursor != L'\0' && *cursor != L' ' && *cursor != L'\t') {
            ++cursor;
        }
    }
    while (*cursor == L' ' || *cursor == L'\t') {
        ++cursor;
    }
    return cursor;
}

void WriteBytes(HANDLE output, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// The debuggee's string, without its terminating NUL. Windows sends Unicode strings as such; Wine
// converts every string to the ANSI code page first.
template <typename Char>
std::basic_string<Char> ReadRemoteString(HANDLE process, const void* address, std::size_t length) {
    std::basic_string<Char> text(length, Char{});
    SIZE_T read = 0;
    if (length == 0 || !::ReadProcessMemory(process, address, text.data(), length * sizeof(Char), &read)) {
        return {};
    }
    text.resize(read / sizeof(Char));
    const auto end = text.find(Char{});
    if (end != std::basic_string<Char>::npos) {
        text.resize(end);
    }
    return text;
}

std::string DebugStringAsUtf8(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    if (info.fUnicode != 0) {
        return ToUtf8(ReadRemoteString<wchar_t>(process, info.lpDebugStringData, info.nDebugStringLength));
    }
    return ToUtf8(FromAnsi(ReadRemoteString<char>(process, info.lpDebugStringData, info.nDebugStringLength)));
}

void WriteError(const std::wstring& message) {
    WriteBytes(::GetStdHandle(STD_ERROR_HANDLE), ToUtf8(L"HalvernDebugCapture: " + message + L"\n"));
}

// Starts the command with the creation flags; says why on stderr when it cannot.
bool Start(std::wstring& command, DWORD flags, PROCESS_INFORMATION& started) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                          &started)) {
        WriteError(L"cannot start the command, error " + std::to_wstring(::GetLastError()));
        return false;
    }
    return true;
}

struct MappedViewTraits {
    using handle_type = const void*;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type view) const noexcept { ::UnmapViewOfFile(view); }
};

int Debug(std::wstring command) {
    PROCESS_INFORMATION started{};
    if (!Start(command, DEBUG_ONLY_THIS_PROCESS, started)) {
        return kStartError;
    }
    const halvern::UniqueKernelHandle process(started.hProcess);
    const halvern::UniqueKernelHandle thread(started.hThread);

    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    bool initial_breakpoint_seen = false;
    for (;;) {
        DEBUG_EVENT event{};
        if (!::WaitForDebugEvent(&event, INFINITE)) {
            WriteError(L"lost the debuggee, error " + std::to_wstring(::GetLastError()));
            return kCaptureError;
        }
        DWORD continue_status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT:
                WriteBytes(output, DebugStringAsUtf8(process.get(), event.u.DebugString));
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                // The image file handle is ours to close; the process and thread handles are not.
                halvern::UniqueKernelHandle(event.u.CreateProcessInfo.hFile).reset();
                break;
            case LOAD_DLL_DEBUG_EVENT:
                halvern::UniqueKernelHandle(event.u.LoadDll.hFile).reset();
                break;
            case EXCEPTION_DEBUG_EVENT:
                // The loader's breakpoint is ours; every other exception goes back to the debuggee.
                if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT &&
                    !initial_breakpoint_seen) {
                    initial_breakpoint_seen = true;
                } else {
                    continue_status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
                return static_cast<int>(event.u.ExitProcess.dwExitCode);
            default:
                break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
    }
}

// A writer waits for "buffer ready", writes its process id and the string into the shared buffer, and
// signals "data ready"; the viewer reads the string and signals "buffer ready" again. Strings of other
// processes are passed over.
int Monitor(std::wstring command) {
    const halvern::UniqueKernelHandle buffer_ready(
        ::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    const halvern::UniqueKernelHandle data_ready(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    const halvern::UniqueKernelHandle mapping(::CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kDbwinBufferBytes, L"DBWIN_BUFFER"));
    if (!buffer_ready || !data_ready || !mapping || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        WriteError(L"cannot read the debug output: another viewer holds it, or error " +
                   std::to_wstring(::GetLastError()));
        return kCaptureError;
    }
    const halvern::UniqueHandle<MappedViewTraits> view(
        ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) {
        WriteError(L"cannot read the debug output, error " + std::to_wstring(::GetLastError()));
        return kCaptureError;
    }
    const auto* buffer = static_cast<const char*>(view.get());
    PROCESS_INFORMATION started{};
    if (!Start(command, 0, started)) {
        return kStartError;
    }
    const halvern::UniqueKernelHandle process(started.hProcess);
    const halvern::UniqueKernelHandle thread(started.hThread);

    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE signals[] = {data_ready.get(), process.get()};
    ::SetEvent(buffer_ready.get());
    // A string is taken before the exit is seen, and once the program has ended one may still wait.
    for (bool ended = false;;) {
        const DWORD signalled = ::WaitForMultipleObjects(2, signals, FALSE, ended ? 0 : INFINITE);
        if (signalled != WAIT_OBJECT_0) {
            if (ended || signalled != WAIT_OBJECT_0 + 1) {
                break;
            }
            ended = true;
            continue;
        }
        DWORD writer = 0;
        std::memcpy(&writer, buffer, sizeof(writer));
        if (writer == started.dwProcessId) {
            const char* text = buffer + sizeof(writer);
            WriteBytes(
                output,
                ToUtf8(FromAnsi(std::string(text, ::strnlen(text, kDbwinBufferBytes - sizeof(writer))))));
        }
        ::SetEvent(buffer_ready.get());
    }
    DWORD exit_code = 0;
    ::GetExitCodeProcess(process.get(), &exit_code);
    return static_cast<int>(exit_code);
}

}  // namespace

int wmain() {
    std::wstring command = CommandAfterProgramName(::GetCommandLineW());
    const bool monitor = command.starts_with(L"/Monitor ");
    if (monitor) {
        command = CommandAfterProgramName(command.c_str());
    }
    if (command.empty()) {
        WriteError(L"usage: HalvernDebugCapture.exe [/Monitor] <program> [arguments...]");
        return kUsageError;
    }
    return monitor ? Monitor(std::move(command)) : Debug(std::move(command));
}
