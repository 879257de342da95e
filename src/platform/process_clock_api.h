#pragma once
// Seam for the process's own times and the system clock: GetCurrentProcess, GetProcessTimes,
// GetSystemTimeAsFileTime, GetSystemTimePreciseAsFileTime.

#include <cstdint>

namespace halvern {

using ProcessHandle = void*;  // HANDLE

// FILETIME: 100-nanosecond intervals since 1601-01-01 UTC, in two halves.
struct FileTime {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;
};

inline std::uint64_t FileTimeValue(FileTime time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class ProcessClockApi {
  public:
    virtual ~ProcessClockApi() = default;
    virtual ProcessHandle GetCurrentProcess() = 0;
    virtual bool GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime* exit_time,
                                 FileTime* kernel_time, FileTime* user_time) = 0;
    virtual void GetSystemTimeAsFileTime(FileTime* time) = 0;
    virtual void GetSystemTimePreciseAsFileTime(FileTime* time) = 0;
};

}  // namespace halvern
