// The least a per-user pass over stale registrations has to do, for the benchmark to compare
// HalvernCleanup.exe with: delete each registration, and post one event of the same size for it over
// HTTPS with WinHTTP, call for call as the tool posts. No package manager, no host facts, no lines.
//
//   per_user_baseline.exe BODY_BYTES      (posts to https://localhost/msix_installer/log_event)

#include <windows.h>
#include <shellapi.h>
#include <winhttp.h>

#include <cwchar>
#include <string>

#include "platform/unique_handle.h"

namespace {

struct InternetTraits {
    using handle_type = HINTERNET;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type handle) const noexcept { ::WinHttpCloseHandle(handle); }
};
struct KeyTraits {
    using handle_type = HKEY;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type key) const noexcept { ::RegCloseKey(key); }
};
struct ArgumentsTraits {
    using handle_type = LPWSTR*;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type arguments) const noexcept { ::LocalFree(arguments); }
};
using Internet = halvern::UniqueHandle<InternetTraits>;

void Post(std::u16string& body) {
    const Internet session(::WinHttpOpen(L"Halvern MSIX Installer Telemetry/1.0",
                                         WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
    const Internet connection(
        session ? ::WinHttpConnect(session.get(), L"localhost", INTERNET_DEFAULT_HTTPS_PORT, 0) : nullptr);
    const Internet request(connection
                               ? ::WinHttpOpenRequest(connection.get(), L"POST", L"/msix_installer/log_event",
                                                      nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
                               : nullptr);
    const auto bytes = static_cast<DWORD>(body.size() * sizeof(char16_t));
    DWORD status = 0;
    DWORD status_size = sizeof(status);
    if (request &&
        ::WinHttpAddRequestHeaders(request.get(),
                                   L"Content-Type: application/x-www-form-urlencoded; charset=utf-16",
                                   static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD) &&
        ::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body.data(), bytes, bytes, 0) &&
        ::WinHttpReceiveResponse(request.get(), nullptr)) {
        ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
    int count = 0;
    const halvern::UniqueHandle<ArgumentsTraits> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const std::size_t body_bytes = count > 1 ? std::wcstoul(arguments.get()[1], nullptr, 10) : 0;
    // A well-formed form of that many bytes: "x=" and then filler.
    std::u16string body = u"x=" + std::u16string(body_bytes / 2 > 2 ? body_bytes / 2 - 2 : 0, u'a');

    halvern::UniqueHandle<KeyTraits> clients;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\HalvernUpdate\\Update\\Clients", 0,
                        KEY_READ | KEY_WOW64_32KEY, clients.put()) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD index = 0;
    wchar_t name[256];
    DWORD length = 256;
    while (::RegEnumKeyExW(clients.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        // Deleted keys leave the enumeration; one that cannot be deleted is stepped over.
        if (::RegDeleteKeyW(clients.get(), name) == ERROR_SUCCESS) {
            Post(body);
        } else {
            ++index;
        }
        length = 256;
    }
    return 0;
}
