#pragma once
// A platform of fakes for the telemetry tests, and a form decoder of the tests' own that undoes the
// four escapes the way a receiver does.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_command_line.h"
#include "fakes/fake_debug_output.h"
#include "fakes/fake_host_facts.h"
#include "fakes/fake_process_clock.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"
#include "fakes/fake_winhttp.h"
#include "platform/platform.h"

namespace halvern::testing {

struct TelemetryTestPlatform {
    FakeDebugOutput debug;
    FakeCommandLine command_line{u"\"C:\\Tools\\HalvernCleanup.exe\" /InstallType:MACHINE", std::nullopt};
    FakeRegistry registry;
    FakeSystemMessages messages;
    FakeWinHttp winhttp;
    FakeHostFacts host;
    FakeProcessClock process_clock;
    Platform platform{.debug = debug,
                      .command_line = command_line,
                      .registry = registry,
                      .messages = messages,
                      .winhttp = winhttp,
                      .host = host,
                      .process_clock = process_clock};
};

using DecodedForm = std::vector<std::pair<std::u16string, std::u16string>>;

inline std::u16string Unescape(const std::u16string& text) {
    std::u16string plain;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const std::u16string_view rest = std::u16string_view(text).substr(index, 3);
        if (rest == u"%25" || rest == u"%26" || rest == u"%3D" || rest == u"%2B") {
            plain.push_back(rest == u"%25" ? u'%' : rest == u"%26" ? u'&' : rest == u"%3D" ? u'=' : u'+');
            index += 2;
        } else {
            plain.push_back(text[index]);
        }
    }
    return plain;
}

// Splits at every "&", then each pair at its first "=", then undoes the escapes.
inline DecodedForm DecodeForm(const std::u16string& body) {
    DecodedForm fields;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find(u'&', start);
        if (end == std::u16string::npos) {
            end = body.size();
        }
        const std::u16string pair = body.substr(start, end - start);
        const std::size_t equals = pair.find(u'=');
        fields.emplace_back(Unescape(pair.substr(0, equals)),
                            equals == std::u16string::npos ? u"<no =>" : Unescape(pair.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

// The body bytes as UTF-16LE code units; an odd count keeps a marker so that it cannot pass.
inline std::u16string BodyText(const std::vector<unsigned char>& bytes) {
    std::u16string text;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        text.push_back(static_cast<char16_t>(bytes[index] | (bytes[index + 1] << 8)));
    }
    if (bytes.size() % 2 != 0) {
        text += u"<odd byte>";
    }
    return text;
}

}  // namespace halvern::testing
