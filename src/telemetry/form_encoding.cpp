#include "telemetry/form_encoding.h"

#include "common/decimal_text.h"

namespace halvern {
namespace {

void AddText(FormFields& fields, const char16_t* key, const std::optional<std::u16string>& value) {
    if (value) {
        fields.emplace_back(key, *value);
    }
}

template <typename Number>
void AddNumber(FormFields& fields, const char16_t* key, const std::optional<Number>& value) {
    if (value) {
        fields.emplace_back(key, SignedDecimalText(*value));
    }
}

}  // namespace

FormFields BuildFormFields(const TelemetryEvent& event) {
    FormFields fields;
    fields.reserve(15);
    fields.emplace_back(u"timestamp_ms", SignedDecimalText(event.timestamp_ms));
    fields.emplace_back(u"installer_name", event.installer_name);
    fields.emplace_back(u"app_name", event.app_name);
    fields.emplace_back(u"event_type", event.event_type);
    AddText(fields, u"package_family_name", event.package_family_name);
    AddText(fields, u"version", event.version);
    AddText(fields, u"updater_id", event.updater_id);
    AddText(fields, u"os_version", event.os_version);
    AddText(fields, u"arch", event.arch);
    AddText(fields, u"result", event.result);
    AddNumber(fields, u"error_code", event.error_code);
    AddText(fields, u"error_message", event.error_message);
    AddNumber(fields, u"duration_ms", event.duration_ms);
    AddText(fields, u"install_type", event.install_type);
    AddText(fields, u"command_line", event.command_line);
    return fields;
}

std::u16string EscapeFormText(const std::u16string& text) {
    std::u16string escaped;
    escaped.reserve(text.size());
    for (const char16_t unit : text) {
        switch (unit) {
            case u'%':
                escaped += u"%25";
                break;
            case u'&':
                escaped += u"%26";
                break;
            case u'=':
                escaped += u"%3D";
                break;
            case u'+':
                escaped += u"%2B";
                break;
            default:
                escaped.push_back(unit);
        }
    }
    return escaped;
}

std::u16string EncodeFormBody(const FormFields& fields) {
    std::u16string body;
    bool first = true;
    for (const auto& [key, value] : fields) {
        if (!first) {
            body.push_back(u'&');
        }
        first = false;
        body += EscapeFormText(key);
        body.push_back(u'=');
        body += EscapeFormText(value);
    }
    return body;
}

}  // namespace halvern
