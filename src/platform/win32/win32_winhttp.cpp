#include "platform/win32/win32_winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/win32/dword_pointer.h"
#include "platform/win32/wide_text.h"

namespace halvern {
namespace {

static_assert(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY == winhttp::kAccessTypeAutomaticProxy);
static_assert(INTERNET_DEFAULT_HTTPS_PORT == winhttp::kDefaultHttpsPort);
static_assert(WINHTTP_FLAG_SECURE == winhttp::kFlagSecure);
static_assert(WINHTTP_ADDREQ_FLAG_ADD == winhttp::kAddRequestFlagAdd);
static_assert(WINHTTP_QUERY_STATUS_CODE == winhttp::kQueryStatusCode);
static_assert(WINHTTP_QUERY_FLAG_NUMBER == winhttp::kQueryFlagNumber);

const wchar_t* OptionalWide(const char16_t* text) {
    return text == nullptr ? nullptr : AsWide(text);
}

}  // namespace

InternetHandle Win32WinHttp::WinHttpOpen(const char16_t* agent, std::uint32_t access_type,
                                         const char16_t* proxy_name, const char16_t* proxy_bypass,
                                         std::uint32_t flags) {
    // Every other call needs the handle this one returns, so this is the one that loads WinHTTP.
    if (const DWORD error = winhttp_.Load(); error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return nullptr;
    }
    return ::WinHttpOpen(OptionalWide(agent), access_type, OptionalWide(proxy_name),
                         OptionalWide(proxy_bypass), flags);
}

InternetHandle Win32WinHttp::WinHttpConnect(InternetHandle session, const char16_t* server_name,
                                            std::uint16_t server_port, std::uint32_t reserved) {
    return ::WinHttpConnect(session, OptionalWide(server_name), server_port, reserved);
}

InternetHandle Win32WinHttp::WinHttpOpenRequest(InternetHandle connection, const char16_t* verb,
                                                const char16_t* object_name, const char16_t* version,
                                                const char16_t* referrer, const char16_t* const* accept_types,
                                                std::uint32_t flags) {
    // WinHTTP declares the accept-type list without const but only reads it.
    return ::WinHttpOpenRequest(connection, OptionalWide(verb), OptionalWide(object_name),
                                OptionalWide(version), OptionalWide(referrer),
                                const_cast<LPCWSTR*>(reinterpret_cast<const wchar_t* const*>(accept_types)),
                                flags);
}

bool Win32WinHttp::WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers,
                                            std::uint32_t headers_length, std::uint32_t modifiers) {
    return ::WinHttpAddRequestHeaders(request, OptionalWide(headers), headers_length, modifiers) != FALSE;
}

bool Win32WinHttp::WinHttpSendRequest(InternetHandle request, const char16_t* headers,
                                      std::uint32_t headers_length, const void* optional,
                                      std::uint32_t optional_length, std::uint32_t total_length,
                                      std::uintptr_t context) {
    // The optional data is only read, whatever the declaration says.
    return ::WinHttpSendRequest(request, OptionalWide(headers), headers_length, const_cast<void*>(optional),
                                optional_length, total_length, context) != FALSE;
}

bool Win32WinHttp::WinHttpReceiveResponse(InternetHandle request, void* reserved) {
    return ::WinHttpReceiveResponse(request, reserved) != FALSE;
}

bool Win32WinHttp::WinHttpQueryHeaders(InternetHandle request, std::uint32_t info_level, const char16_t* name,
                                       void* buffer, std::uint32_t* buffer_length, std::uint32_t* index) {
    return ::WinHttpQueryHeaders(request, info_level, OptionalWide(name), buffer, AsDword(buffer_length),
                                 AsDword(index)) != FALSE;
}

bool Win32WinHttp::WinHttpCloseHandle(InternetHandle handle) {
    return ::WinHttpCloseHandle(handle) != FALSE;
}

std::uint32_t Win32WinHttp::GetLastError() {
    return ::GetLastError();
}

}  // namespace halvern
