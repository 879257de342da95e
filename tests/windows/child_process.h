#pragma once
// Runs a command line under the test and collects its stdout and exit code.

#include <windows.h>

#include <string>

#include "platform/win32/win32_handles.h"

namespace halvern::testing {

struct ChildResult {
    std::string output;
    DWORD exit_code = 0xFFFFFFFF;  // also when it could not be started
};

inline ChildResult RunChild(std::wstring command_line) {
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueKernelHandle read_end;
    UniqueKernelHandle write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started{};
    // Wine now and then fails to start a process, which dies before it is set up: only that is tried again,
    // three times at most; a program that started is never started again.
    for (int attempt = 1; !::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &startup, &started);
         ++attempt) {
        if (attempt == 3) {
            return result;
        }
    }
    const UniqueKernelHandle process(started.hProcess);
    const UniqueKernelHandle thread(started.hThread);
    write_end.reset();

    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(read_end.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        result.output.append(buffer, read);
    }
    ::WaitForSingleObject(process.get(), INFINITE);
    ::GetExitCodeProcess(process.get(), &result.exit_code);
    return result;
}

}  // namespace halvern::testing
