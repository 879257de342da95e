#pragma once
// One synchronous HTTPS POST of a form body with WinHTTP, its outcome written to the diagnostic log.

#include <cstdint>
#include <string>

#include "platform/debug_output_api.h"
#include "platform/platform.h"
#include "platform/winhttp_api.h"
#include "telemetry/form_encoding.h"
#include "telemetry/telemetry_event.h"

namespace halvern {

inline constexpr char16_t kTelemetryPath[] = u"/msix_installer/log_event";

// Posts the fields to https://host:443/path. Returns 0 once the response status was read (whatever it
// is) and stores it in *status; otherwise returns the failing call's GetLastError and leaves *status
// untouched. Every handle it opens is closed before it returns.
std::uint32_t PostForm(WinHttpApi& http, DebugOutputApi& debug, const std::u16string& host,
                       const std::u16string& path, const FormFields& fields, std::uint32_t* status);

// Posts the event to the telemetry host built into the tool.
std::uint32_t SendTelemetryEvent(Platform& platform, const TelemetryEvent& event, std::uint32_t* status);

}  // namespace halvern
