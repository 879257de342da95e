#include "platform/win32/win32_process_clock.h"

#include <windows.h>

namespace halvern {
namespace {

void Copy(const FILETIME& from, FileTime* to) {
    to->dwLowDateTime = from.dwLowDateTime;
    to->dwHighDateTime = from.dwHighDateTime;
}

}  // namespace

ProcessHandle Win32ProcessClock::GetCurrentProcess() {
    return ::GetCurrentProcess();
}

bool Win32ProcessClock::GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime* exit_time,
                                        FileTime* kernel_time, FileTime* user_time) {
    FILETIME creation{};
    FILETIME exit{};
    FILETIME kernel{};
    FILETIME user{};
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return false;
    }
    Copy(creation, creation_time);
    Copy(exit, exit_time);
    Copy(kernel, kernel_time);
    Copy(user, user_time);
    return true;
}

void Win32ProcessClock::GetSystemTimeAsFileTime(FileTime* time) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    Copy(now, time);
}

void Win32ProcessClock::GetSystemTimePreciseAsFileTime(FileTime* time) {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    Copy(now, time);
}

}  // namespace halvern
