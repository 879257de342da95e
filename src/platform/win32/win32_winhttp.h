#pragma once
// WinHTTP (winhttp.dll, loaded from System32 by the first WinHttpOpen) and GetLastError.

#include "platform/winhttp_api.h"
#include "platform/win32/system_library.h"

namespace halvern {

class Win32WinHttp final : public WinHttpApi {
  public:
    InternetHandle WinHttpOpen(const char16_t* agent, std::uint32_t access_type, const char16_t* proxy_name,
                               const char16_t* proxy_bypass, std::uint32_t flags) override;
    InternetHandle WinHttpConnect(InternetHandle session, const char16_t* server_name,
                                  std::uint16_t server_port, std::uint32_t reserved) override;
    InternetHandle WinHttpOpenRequest(InternetHandle connection, const char16_t* verb,
                                      const char16_t* object_name, const char16_t* version,
                                      const char16_t* referrer, const char16_t* const* accept_types,
                                      std::uint32_t flags) override;
    bool WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers,
                                  std::uint32_t headers_length, std::uint32_t modifiers) override;
    bool WinHttpSendRequest(InternetHandle request, const char16_t* headers, std::uint32_t headers_length,
                            const void* optional, std::uint32_t optional_length, std::uint32_t total_length,
                            std::uintptr_t context) override;
    bool WinHttpReceiveResponse(InternetHandle request, void* reserved) override;
    bool WinHttpQueryHeaders(InternetHandle request, std::uint32_t info_level, const char16_t* name,
                             void* buffer, std::uint32_t* buffer_length, std::uint32_t* index) override;
    bool WinHttpCloseHandle(InternetHandle handle) override;
    std::uint32_t GetLastError() override;

  private:
    SystemLibrary winhttp_{L"winhttp.dll"};
};

}  // namespace halvern
