#pragma once
// A process and a clock the test sets: the process's creation time, whether GetProcessTimes fails,
// and the times the two system clock calls return. Every call is recorded in order.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process_clock_api.h"

namespace halvern::testing {

inline FileTime MakeFileTime(std::uint64_t value) {
    return FileTime{static_cast<std::uint32_t>(value & 0xFFFFFFFFu), static_cast<std::uint32_t>(value >> 32)};
}

class FakeProcessClock final : public ProcessClockApi {
  public:
    // 2024-01-02 03:04:05.678 UTC, and the process started 1234.5678 ms before.
    std::uint64_t precise_now = 133486382456780000ULL;
    std::uint64_t now = 133486382456780000ULL;
    std::uint64_t creation_time = 133486382456780000ULL - 12345678ULL;
    bool process_times_fail = false;

    std::vector<std::u16string> calls;
    bool times_asked_for_current_process = false;

    ProcessHandle GetCurrentProcess() override {
        calls.push_back(u"GetCurrentProcess");
        return kCurrentProcess;
    }

    bool GetProcessTimes(ProcessHandle process, FileTime* creation, FileTime* exit, FileTime* kernel,
                         FileTime* user) override {
        calls.push_back(u"GetProcessTimes");
        times_asked_for_current_process = process == kCurrentProcess;
        if (process_times_fail || creation == nullptr || exit == nullptr || kernel == nullptr ||
            user == nullptr) {
            return false;
        }
        *creation = MakeFileTime(creation_time);
        *exit = MakeFileTime(0);
        *kernel = MakeFileTime(156250);
        *user = MakeFileTime(312500);
        return true;
    }

    void GetSystemTimeAsFileTime(FileTime* time) override {
        calls.push_back(u"GetSystemTimeAsFileTime");
        *time = MakeFileTime(now);
    }

    void GetSystemTimePreciseAsFileTime(FileTime* time) override {
        calls.push_back(u"GetSystemTimePreciseAsFileTime");
        *time = MakeFileTime(precise_now);
    }

  private:
    static inline const ProcessHandle kCurrentProcess = reinterpret_cast<ProcessHandle>(~std::uintptr_t{0});
};

}  // namespace halvern::testing
