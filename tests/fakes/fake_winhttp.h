#pragma once
// WinHTTP in memory: hands out distinct handles, checks that each call gets a live handle of the
// right kind, records what was sent and every close in order, answers with a chosen status, and
// fails any call on demand with the error GetLastError then reports.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/winhttp_api.h"

namespace halvern::testing {

class FakeWinHttp final : public WinHttpApi {
  public:
    enum class Kind { Session, Connection, Request };

    // The call that fails ("WinHttpOpen", ..., "WinHttpQueryHeaders") and the error it leaves.
    std::u16string fail_call;
    std::uint32_t fail_error = 0;
    std::uint32_t status_code = 200;

    // What the exchange carried.
    std::vector<std::u16string> calls;
    std::u16string agent;
    std::uint32_t access_type = 0xFFFFFFFF;
    bool proxy_given = true;
    std::uint32_t open_flags = 0xFFFFFFFF;
    std::u16string server_name;
    std::uint16_t server_port = 0;
    std::u16string verb;
    std::u16string object_name;
    bool version_referrer_or_accept_given = true;
    std::uint32_t request_flags = 0;
    std::u16string added_headers;
    std::uint32_t added_headers_length = 0;
    std::uint32_t add_modifiers = 0;
    bool send_headers_given = true;
    std::vector<unsigned char> body;
    std::vector<std::vector<unsigned char>> bodies;  // Every body sent, in order.
    std::uint32_t total_length = 0;
    std::uintptr_t context = 1;
    std::uint32_t query_info_level = 0;
    bool query_name_or_index_given = true;
    std::uint32_t query_buffer_length = 0;
    std::vector<Kind> closed;  // the kind of each handle closed, in order

    // Handles still open; a leak shows up here.
    std::size_t OpenHandles() const { return open_.size(); }

    InternetHandle WinHttpOpen(const char16_t* agent_text, std::uint32_t access, const char16_t* proxy_name,
                               const char16_t* proxy_bypass, std::uint32_t flags) override {
        if (Fails(u"WinHttpOpen")) {
            return nullptr;
        }
        agent = agent_text == nullptr ? u"" : agent_text;
        access_type = access;
        proxy_given = proxy_name != nullptr || proxy_bypass != nullptr;
        open_flags = flags;
        return NewHandle(Kind::Session);
    }

    InternetHandle WinHttpConnect(InternetHandle session, const char16_t* server, std::uint16_t port,
                                  std::uint32_t reserved) override {
        if (Fails(u"WinHttpConnect") || !Live(session, Kind::Session)) {
            return nullptr;
        }
        if (reserved != 0) {
            Error(kErrorInvalidParameter);
            return nullptr;
        }
        server_name = server;
        server_port = port;
        return NewHandle(Kind::Connection);
    }

    InternetHandle WinHttpOpenRequest(InternetHandle connection, const char16_t* verb_text,
                                      const char16_t* object, const char16_t* version,
                                      const char16_t* referrer, const char16_t* const* accept_types,
                                      std::uint32_t flags) override {
        if (Fails(u"WinHttpOpenRequest") || !Live(connection, Kind::Connection)) {
            return nullptr;
        }
        verb = verb_text;
        object_name = object;
        version_referrer_or_accept_given =
            version != nullptr || referrer != nullptr || accept_types != nullptr;
        request_flags = flags;
        return NewHandle(Kind::Request);
    }

    bool WinHttpAddRequestHeaders(InternetHandle request, const char16_t* headers, std::uint32_t length,
                                  std::uint32_t modifiers) override {
        if (Fails(u"WinHttpAddRequestHeaders") || !Live(request, Kind::Request)) {
            return false;
        }
        // A length of -1 means the text runs to its NUL.
        added_headers =
            length == winhttp::kNulTerminated ? std::u16string(headers) : std::u16string(headers, length);
        added_headers_length = length;
        add_modifiers = modifiers;
        return true;
    }

    bool WinHttpSendRequest(InternetHandle request, const char16_t* headers, std::uint32_t headers_length,
                            const void* optional, std::uint32_t optional_length, std::uint32_t total,
                            std::uintptr_t context_value) override {
        if (Fails(u"WinHttpSendRequest") || !Live(request, Kind::Request)) {
            return false;
        }
        send_headers_given = headers != nullptr || headers_length != 0;
        const auto* bytes = static_cast<const unsigned char*>(optional);
        body.assign(bytes, bytes + optional_length);
        bodies.push_back(body);
        total_length = total;
        context = context_value;
        sent_ = true;
        return true;
    }

    bool WinHttpReceiveResponse(InternetHandle request, void* reserved) override {
        if (Fails(u"WinHttpReceiveResponse") || !Live(request, Kind::Request)) {
            return false;
        }
        if (!sent_ || reserved != nullptr) {
            return Error(kErrorIncorrectHandleState);
        }
        received_ = true;
        return true;
    }

    bool WinHttpQueryHeaders(InternetHandle request, std::uint32_t info_level, const char16_t* name,
                             void* buffer, std::uint32_t* buffer_length, std::uint32_t* index) override {
        if (Fails(u"WinHttpQueryHeaders") || !Live(request, Kind::Request)) {
            return false;
        }
        query_info_level = info_level;
        query_name_or_index_given = name != nullptr || index != nullptr;
        query_buffer_length = *buffer_length;
        if (!received_) {
            return Error(kErrorIncorrectHandleState);
        }
        if (*buffer_length < sizeof(std::uint32_t)) {
            *buffer_length = sizeof(std::uint32_t);
            return Error(kErrorInsufficientBuffer);
        }
        *static_cast<std::uint32_t*>(buffer) = status_code;
        *buffer_length = sizeof(std::uint32_t);
        return true;
    }

    bool WinHttpCloseHandle(InternetHandle handle) override {
        calls.push_back(u"WinHttpCloseHandle");
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            return Error(kErrorInvalidHandle);
        }
        closed.push_back(found->second);
        open_.erase(found);
        // WinHTTP clears the last error on a successful close: an error read after cleanup is lost.
        last_error_ = 0;
        return true;
    }

    std::uint32_t GetLastError() override { return last_error_; }

  private:
    static constexpr std::uint32_t kErrorInvalidHandle = 6;
    static constexpr std::uint32_t kErrorInvalidParameter = 87;
    static constexpr std::uint32_t kErrorInsufficientBuffer = 122;
    static constexpr std::uint32_t kErrorIncorrectHandleState = 12019;
    static constexpr std::uint32_t kErrorIncorrectHandleType = 12018;

    bool Fails(const char16_t* call) {
        calls.push_back(call);
        if (fail_call == call) {
            last_error_ = fail_error;
            return true;
        }
        return false;
    }

    bool Error(std::uint32_t error) {
        last_error_ = error;
        return false;
    }

    bool Live(InternetHandle handle, Kind kind) {
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            return Error(kErrorInvalidHandle);
        }
        if (found->second != kind) {
            return Error(kErrorIncorrectHandleType);
        }
        return true;
    }

    InternetHandle NewHandle(Kind kind) {
        // Distinct, never reused and never null; the fake never dereferences them.
        const auto handle = reinterpret_cast<InternetHandle>(next_handle_);
        next_handle_ += 0x10;
        open_.emplace(handle, kind);
        return handle;
    }

    std::map<InternetHandle, Kind> open_;
    std::uintptr_t next_handle_ = 0x1000;
    std::uint32_t last_error_ = 0;
    bool sent_ = false;
    bool received_ = false;
};

}  // namespace halvern::testing
