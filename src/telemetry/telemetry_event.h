#pragma once
// The record of one reported outcome. Field names are the wire keys; an absent optional field is
// left out of the upload, a present one is sent even when empty.

#include <cstdint>
#include <optional>
#include <string>

#include "common/scope.h"
#include "platform/platform.h"

namespace halvern {

// What an event reports: the removal of one package, or the outcome of a whole installation. The drivers
// pass no other value; one that came through anyway is sent as "Unknown".
enum class EventKind : std::int32_t {
    RemovePackage = 0,
    Uninstall = 1,
};

struct TelemetryEvent {
    std::int64_t timestamp_ms = 0;
    std::u16string installer_name;
    std::u16string app_name;
    std::u16string event_type;
    std::optional<std::u16string> updater_id;
    std::optional<std::u16string> os_version;
    std::optional<std::u16string> arch;
    std::optional<std::int64_t> duration_ms;
    std::optional<std::u16string> command_line;
    std::optional<std::u16string> package_family_name;
    std::optional<std::u16string> version;
    std::optional<std::u16string> result;
    std::optional<std::int32_t> error_code;
    std::optional<std::u16string> error_message;
    std::optional<std::u16string> install_type;

    friend bool operator==(const TelemetryEvent&, const TelemetryEvent&) = default;
};

// The event's "event_type".
std::u16string EventTypeText(EventKind event_kind);

// Fills everything but the error fields. Nothing is cached: every event reads the clock (first, as the
// moment of the event), the process times, the command line, the host facts and the updater id afresh.
TelemetryEvent MakeTelemetryEvent(Platform& platform, EventKind event_kind, bool success, Scope machine_wide,
                                  const std::u16string& app_name, const std::u16string& package_family_name,
                                  const std::u16string& version);

}  // namespace halvern
