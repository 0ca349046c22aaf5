#pragma once
// The WinHTTP calls, one method each. The last error of a failing call is read
// at once, before anything else can change it, and handed back with the failure.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarnet {

using HttpHandle = void*;  // an HINTERNET; null is no handle

struct HttpTimeouts {
    int resolve_ms;
    int connect_ms;
    int send_ms;
    int receive_ms;
};

inline constexpr std::uint32_t WINHTTP_OPEN_FLAG_SECURE = 0x00800000;

class WinHttp {
public:
    virtual ~WinHttp() = default;

    // WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, no proxy, no bypass, 0).
    virtual HttpHandle open_session(const std::u16string& user_agent) = 0;
    // WinHttpSetTimeouts; a failure is ignored by every caller.
    virtual void set_timeouts(HttpHandle session, HttpTimeouts timeouts) = 0;
    // WinHttpConnect(session, host, port, 0).
    virtual HttpHandle connect(HttpHandle session, const std::u16string& host, std::uint16_t port) = 0;
    // WinHttpOpenRequest(connection, "GET", path, no version, no referrer, no accept types, flags).
    virtual HttpHandle open_request(HttpHandle connection, const std::u16string& path, std::uint32_t flags) = 0;
    // WinHttpSendRequest(request, headers or NULL, their length in units, NULL, 0, 0, 0).
    // On failure: the last error.
    virtual std::expected<void, std::uint32_t> send_request(HttpHandle request, std::u16string_view headers) = 0;
    // WinHttpReceiveResponse(request, NULL). On failure: the last error.
    virtual std::expected<void, std::uint32_t> receive_response(HttpHandle request) = 0;
    // WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, ...).
    virtual std::optional<std::uint32_t> query_status(HttpHandle request) = 0;
    // WinHttpReadData(request, buffer, its size, &count): the count, 0 at the end
    // of the body. On failure: the last error.
    virtual std::expected<std::size_t, std::uint32_t> read_data(HttpHandle request, std::span<std::byte> buffer) = 0;
    // WinHttpCloseHandle; its result is ignored.
    virtual void close_handle(HttpHandle handle) = 0;
};

}  // namespace quarnet
