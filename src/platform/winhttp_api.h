#pragma once
// Seam for WinHTTP (WinHttpOpen, WinHttpConnect, WinHttpOpenRequest, WinHttpAddRequestHeaders,
// WinHttpSendRequest, WinHttpReceiveResponse, WinHttpQueryHeaders, WinHttpCloseHandle) and the
// GetLastError that follows a failing call. Arguments and results as the Win32 calls take them.

#include <cstdint>

#include "platform/unique_handle.h"

namespace halvern {

using InternetHandle = void*;  // HINTERNET

namespace winhttp {
constexpr std::uint32_t kAccessTypeAutomaticProxy = 4;    // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
constexpr std::uint16_t kDefaultHttpsPort = 443;          // INTERNET_DEFAULT_HTTPS_PORT
constexpr std::uint32_t kFlagSecure = 0x00800000;         // WINHTTP_FLAG_SECURE
constexpr std::uint32_t kAddRequestFlagAdd = 0x20000000;  // WINHTTP_ADDREQ_FLAG_ADD
constexpr std::uint32_t kQueryStatusCode = 19;            // WINHTTP_QUERY_STATUS_CODE
constexpr std::uint32_t kQueryFlagNumber = 0x20000000;    // WINHTTP_QUERY_FLAG_NUMBER
constexpr std::uint32_t kNulTerminated = 0xFFFFFFFF;      // a header length of (DWORD)-1
}  // namespace winhttp

class WinHttpApi {
  public:
    virtual ~WinHttpApi() = default;
    virtual InternetHandle WinHttpOpen(const char16_t* agent, std::uint32_t access_type,
                                       const char16_t* proxy_name, const char16_t* proxy_bypass,
                                       std::uint32_t flags) = 0;
    virtual InternetHandle WinHttpConnect(InternetHandle session, const char16_t* server_name,
                                          std::uint16_t server_port, std::uint32_t reserved) = 0;
    virtual InternetHandle WinHttpOpenRequest(InternetHandle connection, const char16_t* verb,
                                              const char16_t* object_name, const char16_t* version,
                                              const char16_t* referrer, const char16_t* const* accept_types,
                                              std::uint32_t flags) = 0;
    virtual bool WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers,
                                          std::uint32_t headers_length, std::uint32_t modifiers) = 0;
    virtual bool WinHttpSendRequest(InternetHandle request, const char16_t* headers,
                                    std::uint32_t headers_length, const void* optional,
                                    std::uint32_t optional_length, std::uint32_t total_length,
                                    std::uintptr_t context) = 0;
    virtual bool WinHttpReceiveResponse(InternetHandle request, void* reserved) = 0;
    virtual bool WinHttpQueryHeaders(InternetHandle request, std::uint32_t info_level, const char16_t* name,
                                     void* buffer, std::uint32_t* buffer_length, std::uint32_t* index) = 0;
    virtual bool WinHttpCloseHandle(InternetHandle handle) = 0;
    virtual std::uint32_t GetLastError() = 0;
};

// Owns one HINTERNET and closes it through the seam that opened it.
struct WinHttpHandleTraits {
    using handle_type = InternetHandle;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type handle) const noexcept { api->WinHttpCloseHandle(handle); }
    WinHttpApi* api = nullptr;
};

using UniqueInternetHandle = UniqueHandle<WinHttpHandleTraits>;

}  // namespace halvern
