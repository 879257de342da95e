#include "telemetry/telemetry_upload.h"

#include "common/build_config.h"
#include "common/debug_log.h"

namespace halvern {
namespace {

constexpr char16_t kUserAgent[] = u"Halvern MSIX Installer Telemetry/1.0";
constexpr char16_t kContentTypeHeader[] = u"Content-Type: application/x-www-form-urlencoded; charset=utf-16";
constexpr std::uint32_t kOk = 200;

std::uint32_t LogFailure(DebugOutputApi& debug, const char16_t* call, std::uint32_t error) {
    WriteDebugLine(debug, std::u16string(call) + u" failed with error " + DecimalText(error));
    return error;
}

}  // namespace

std::uint32_t PostForm(WinHttpApi& http, DebugOutputApi& debug, const std::u16string& host,
                       const std::u16string& path, const FormFields& fields, std::uint32_t* status) {
    const std::u16string body = EncodeFormBody(fields);
    const auto body_bytes = static_cast<std::uint32_t>(body.size() * sizeof(char16_t));
    const WinHttpHandleTraits owner{&http};

    // Declared in this order so that they close in the reverse one: request, connection, session.
    const UniqueInternetHandle session(
        http.WinHttpOpen(kUserAgent, winhttp::kAccessTypeAutomaticProxy, nullptr, nullptr, 0), owner);
    if (!session) {
        return LogFailure(debug, u"WinHttpOpen", http.GetLastError());
    }
    const UniqueInternetHandle connection(
        http.WinHttpConnect(session.get(), host.c_str(), winhttp::kDefaultHttpsPort, 0), owner);
    if (!connection) {
        return LogFailure(debug, u"WinHttpConnect", http.GetLastError());
    }
    const UniqueInternetHandle request(
        http.WinHttpOpenRequest(connection.get(), u"POST", path.c_str(), nullptr, nullptr, nullptr,
                                winhttp::kFlagSecure),
        owner);
    if (!request) {
        return LogFailure(debug, u"WinHttpOpenRequest", http.GetLastError());
    }
    if (!http.WinHttpAddRequestHeaders(request.get(), kContentTypeHeader, winhttp::kNulTerminated,
                                       winhttp::kAddRequestFlagAdd)) {
        return LogFailure(debug, u"WinHttpAddRequestHeaders", http.GetLastError());
    }
    if (!http.WinHttpSendRequest(request.get(), nullptr, 0, body.data(), body_bytes, body_bytes, 0)) {
        return LogFailure(debug, u"WinHttpSendRequest", http.GetLastError());
    }
    if (!http.WinHttpReceiveResponse(request.get(), nullptr)) {
        return LogFailure(debug, u"WinHttpReceiveResponse", http.GetLastError());
    }
    // Read into a local, so the caller's variable changes only when a status was really read.
    std::uint32_t code = 0;
    std::uint32_t code_size = sizeof(code);
    if (!http.WinHttpQueryHeaders(request.get(), winhttp::kQueryStatusCode | winhttp::kQueryFlagNumber,
                                  nullptr, &code, &code_size, nullptr)) {
        return LogFailure(debug, u"WinHttpQueryHeaders", http.GetLastError());
    }
    if (status != nullptr) {
        *status = code;
    }
    WriteDebugLine(debug, code == kOk ? std::u16string(u"Got expected status code=200")
                                      : u"Unexpected status code=" + DecimalText(code));
    return 0;
}

std::uint32_t SendTelemetryEvent(Platform& platform, const TelemetryEvent& event, std::uint32_t* status) {
    return PostForm(platform.winhttp, platform.debug, kTelemetryHost, kTelemetryPath, BuildFormFields(event),
                    status);
}

}  // namespace halvern
