#include "telemetry/telemetry_event.h"

#include "registry/registry_values.h"
#include "telemetry/host_info.h"

namespace halvern {
namespace {

// FILETIME intervals from 1601-01-01 to 1970-01-01, and per millisecond.
constexpr std::uint64_t kUnixEpochIntervals = 116444736000000000ULL;
constexpr std::int64_t kIntervalsPerMillisecond = 10000;

// The difference of two FILETIME values in whole milliseconds, truncated toward zero. Unsigned
// subtraction wraps instead of overflowing; the cast back gives the signed difference.
std::int64_t MillisecondsBetween(std::uint64_t earlier, std::uint64_t later) {
    return static_cast<std::int64_t>(later - earlier) / kIntervalsPerMillisecond;
}

}  // namespace

std::u16string EventTypeText(EventKind event_kind) {
    switch (event_kind) {
        case EventKind::RemovePackage:
            return u"Remove_Package";
        case EventKind::Uninstall:
            return u"Uninstall";
        default:
            return u"Unknown";
    }
}

TelemetryEvent MakeTelemetryEvent(Platform& platform, EventKind event_kind, bool success, Scope machine_wide,
                                  const std::u16string& app_name, const std::u16string& package_family_name,
                                  const std::u16string& version) {
    ProcessClockApi& clock = platform.process_clock;
    // The clock comes first: it is the moment of the event.
    FileTime now{};
    clock.GetSystemTimePreciseAsFileTime(&now);

    TelemetryEvent event;
    event.timestamp_ms = MillisecondsBetween(kUnixEpochIntervals, FileTimeValue(now));
    event.installer_name = u"HalvernCleanup";
    event.app_name = app_name;
    event.event_type = EventTypeText(event_kind);

    FileTime creation{};
    FileTime exit{};
    FileTime kernel{};
    FileTime user{};
    if (clock.GetProcessTimes(clock.GetCurrentProcess(), &creation, &exit, &kernel, &user)) {
        FileTime current{};
        clock.GetSystemTimeAsFileTime(&current);
        event.duration_ms = MillisecondsBetween(FileTimeValue(creation), FileTimeValue(current));
    }

    event.command_line = platform.command_line.GetCommandLineW();

    const HostInfo host = QueryHostInfo(platform);
    event.os_version = OsVersionText(host);
    if (host.processor_architecture) {
        event.arch = ArchitectureName(*host.processor_architecture);
    }

    event.updater_id = ReadUpdaterUserId(platform.registry, machine_wide);
    event.result = success ? u"success" : u"failure";
    event.install_type = machine_wide == Scope::Machine ? u"machine" : u"user";
    event.package_family_name = package_family_name;
    event.version = version;
    return event;
}

}  // namespace halvern
