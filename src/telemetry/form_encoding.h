#pragma once
// The event as form fields, and the fields as the UTF-16 body that is posted.

#include <string>
#include <utility>
#include <vector>

#include "telemetry/telemetry_event.h"

namespace halvern {

// Key and value pairs in the order they are sent; each key at most once.
using FormFields = std::vector<std::pair<std::u16string, std::u16string>>;

// One pair per present field, in the fixed order timestamp_ms, installer_name, app_name, event_type,
// package_family_name, version, updater_id, os_version, arch, result, error_code, error_message,
// duration_ms, install_type, command_line.
FormFields BuildFormFields(const TelemetryEvent& event);

// Percent-encodes exactly "%", "&", "=" and "+", the characters a form receiver splits or decodes
// on; every other code unit stays as it is.
std::u16string EscapeFormText(const std::u16string& text);

// key=value pairs joined by single "&", keys and values escaped.
std::u16string EncodeFormBody(const FormFields& fields);

}  // namespace halvern
