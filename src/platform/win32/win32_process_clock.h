#pragma once
// GetCurrentProcess, GetProcessTimes, GetSystemTimeAsFileTime, GetSystemTimePreciseAsFileTime (kernel32).

#include "platform/process_clock_api.h"

namespace halvern {

class Win32ProcessClock final : public ProcessClockApi {
  public:
    ProcessHandle GetCurrentProcess() override;
    bool GetProcessTimes(ProcessHandle process, FileTime* creation_time, FileTime* exit_time,
                         FileTime* kernel_time, FileTime* user_time) override;
    void GetSystemTimeAsFileTime(FileTime* time) override;
    void GetSystemTimePreciseAsFileTime(FileTime* time) override;
};

}  // namespace halvern
