#pragma once
// The WinHTTP calls, one method each. The last error of a failing call is read
// at once, before anything else can change it, and handed back with the failure.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/os_error.h"

namespace quarnet {

using HttpHandle = void*;  // an HINTERNET; null is no handle

struct HttpTimeouts {
    int resolve_ms;
    int connect_ms;
    int send_ms;
    int receive_ms;
};

inline constexpr std::uint32_t WINHTTP_OPEN_FLAG_SECURE = 0x00800000;
inline constexpr std::uint32_t HTTP_AUTH_SCHEME_NTLM = 0x02;
inline constexpr std::uint32_t HTTP_AUTH_SCHEME_NEGOTIATE = 0x10;
inline constexpr std::uint32_t HTTP_AUTH_TARGET_PROXY = 1;

// What WinHttpQueryAuthSchemes tells of the answer that asked for a sign-in.
struct HttpAuthSchemes {
    std::uint32_t supported;  // HTTP_AUTH_SCHEME_* bits
    std::uint32_t target;     // HTTP_AUTH_TARGET_PROXY, or 0 for the server
};

class WinHttp;

// One WinHTTP handle, closed by the WinHttp that gave it when the owner goes.
// Only a WinHttp makes one: every handle it opens is owned from the start.
class UniqueHttpHandle {
public:
    UniqueHttpHandle() = default;
    ~UniqueHttpHandle() { reset(); }
    UniqueHttpHandle(UniqueHttpHandle&& other) noexcept
        : http_(other.http_), handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHttpHandle& operator=(UniqueHttpHandle&& other) noexcept {
        if (this != &other) {
            reset();
            http_ = other.http_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHttpHandle(const UniqueHttpHandle&) = delete;
    UniqueHttpHandle& operator=(const UniqueHttpHandle&) = delete;

    bool valid() const { return handle_ != nullptr; }
    HttpHandle get() const { return handle_; }
    inline void reset();

private:
    friend class WinHttp;
    UniqueHttpHandle(WinHttp& http, HttpHandle handle) : http_(&http), handle_(handle) {}

    WinHttp* http_ = nullptr;
    HttpHandle handle_ = nullptr;
};

// The calls that open a handle hand it out owned; the others borrow one.
class WinHttp {
public:
    virtual ~WinHttp() = default;

    // WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, no proxy, no bypass, 0).
    UniqueHttpHandle open_session(const std::u16string& user_agent) { return own(open_session_handle(user_agent)); }
    // WinHttpConnect(session, host, port, 0).
    UniqueHttpHandle connect(HttpHandle session, const std::u16string& host, std::uint16_t port) {
        return own(connect_handle(session, host, port));
    }
    // WinHttpOpenRequest(connection, "GET", path, no version, no referrer, no accept types, flags).
    UniqueHttpHandle open_request(HttpHandle connection, const std::u16string& path, std::uint32_t flags) {
        return own(open_request_handle(connection, path, flags));
    }

    // WinHttpSetTimeouts; a failure is ignored by every caller.
    virtual void set_timeouts(HttpHandle session, HttpTimeouts timeouts) = 0;
    // WinHttpSendRequest(request, headers or NULL, their length in units, NULL, 0, 0, 0).
    // On failure: the last error.
    virtual Expected<void, std::uint32_t> send_request(HttpHandle request, std::u16string_view headers) = 0;
    // WinHttpReceiveResponse(request, NULL). On failure: the last error.
    virtual Expected<void, std::uint32_t> receive_response(HttpHandle request) = 0;
    // WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, ...).
    virtual std::optional<std::uint32_t> query_status(HttpHandle request) = 0;
    // WinHttpQueryOption(request, WINHTTP_OPTION_PROXY_RESULT_ENTRY, ...): true when the
    // request went through a proxy (the entry's fProxy), false when it went direct,
    // nothing when the question cannot be answered.
    virtual std::optional<bool> went_through_proxy(HttpHandle request) = 0;
    // WinHttpQueryAuthSchemes(request, &supported, &first, &target); nothing when it fails.
    virtual std::optional<HttpAuthSchemes> query_auth_schemes(HttpHandle request) = 0;
    // WinHttpSetCredentials(request, target, scheme, NULL, NULL, NULL): no name and no
    // password, so the logged-on user's own sign-in. False when it fails.
    virtual bool set_logon_credentials(HttpHandle request, std::uint32_t target, std::uint32_t scheme) = 0;
    // WinHttpReadData(request, buffer, its size, &count): the count, 0 at the end
    // of the body. On failure: the last error.
    virtual Expected<std::size_t, std::uint32_t> read_data(HttpHandle request, std::span<std::byte> buffer) = 0;

private:
    friend class UniqueHttpHandle;
    UniqueHttpHandle own(HttpHandle handle) { return UniqueHttpHandle(*this, handle); }

    // The calls themselves, null on failure; their handles reach callers owned only.
    virtual HttpHandle open_session_handle(const std::u16string& user_agent) = 0;
    virtual HttpHandle connect_handle(HttpHandle session, const std::u16string& host, std::uint16_t port) = 0;
    virtual HttpHandle open_request_handle(HttpHandle connection, const std::u16string& path, std::uint32_t flags) = 0;
    // WinHttpCloseHandle; its result is ignored.
    virtual void close_handle(HttpHandle handle) = 0;
};

inline void UniqueHttpHandle::reset() {
    if (handle_ != nullptr) http_->close_handle(std::exchange(handle_, nullptr));
}

}  // namespace quarnet
