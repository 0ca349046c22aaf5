#pragma once
// A scripted WinHttp. Each request (each connect) takes the next ScriptedResponse
// from the queue; every call is logged in order, every request recorded, and the
// handles still open are counted so a test can assert that nothing leaks.
//
//   FakeWinHttp http;
//   http.responses.push_back(ScriptedResponse::ok(206, "body", 2));   // "bo", "dy"
//   http.responses.push_back({.fail_at = HttpStage::Send, .last_error = 12029});
//   ... run the code ...
//   EXPECT_EQ(http.open_handles(), 0);
//   EXPECT_EQ(http.requests[0].headers, "Range: bytes=4-\r\n");
//
// A request with no response left in the queue fails at Send with 12029 (a
// refused connection) and counts in `unscripted_requests`. A request sent again
// takes the next response, if any.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_http.h"

namespace quarnet {

enum class HttpStage { None, Connect, Open, Send, Receive };

struct ScriptedResponse {
    HttpStage fail_at = HttpStage::None;         // the stage whose call fails
    std::uint32_t last_error = 0;                // its last error (not used for Connect/Open, which give none)
    std::optional<std::uint32_t> status = 200;   // nothing: the status query fails
    std::vector<std::string> chunks;             // one per read, cut to the reader's buffer (the rest comes next)
    std::optional<std::size_t> fail_read_after;  // this many reads return data, then a read fails
    std::uint32_t read_error = 12030;            // the last error of that failing read
    std::function<void(std::size_t read_index)> before_read;  // called before each read of this response
    std::optional<bool> through_proxy;                        // nothing: the proxy query fails, as under Wine
    HttpAuthSchemes auth{0, HTTP_AUTH_TARGET_PROXY};          // supported 0: the auth scheme query fails
    bool credentials_fail = false;                            // set_logon_credentials fails

    // `status` with `body` cut into chunks of `chunk_size` bytes (one empty body: no chunk).
    static ScriptedResponse ok(std::uint32_t status, std::string_view body, std::size_t chunk_size = 262'144);
    static ScriptedResponse failing_at(HttpStage stage, std::uint32_t last_error = 0);
};

struct RecordedRequest {
    std::string host;
    std::uint16_t port = 0;
    std::string path;
    std::uint32_t flags = 0;
    bool opened = false;             // open_request was called
    bool sent = false;               // send_request was called
    std::string headers;             // as UTF-8
    std::size_t headers_length = 0;  // in UTF-16 code units, as given to send
    std::size_t reads = 0;
    std::vector<std::size_t> read_buffer_sizes;
    std::vector<const std::byte*> read_buffers;
    bool buffer_zeroed_at_first_read = false;
};

class FakeWinHttp : public WinHttp {
public:
    // Scripting.
    bool session_fails = false;
    std::deque<bool> session_failures;  // one per open_session, before session_fails decides
    // Shared with the other doubles of a run: the session calls, numbered by session
    // ("open_session 1", "set_timeouts 1", "close 1", "open_session failed").
    std::vector<std::string>* journal = nullptr;
    std::deque<ScriptedResponse> responses;
    std::function<void()> before_each_read;  // called before every read of every request
    bool scan_first_buffer = true;           // fills buffer_zeroed_at_first_read; a fuzzer turns it off

    // What happened.
    std::vector<std::string> calls;  // "open_session", "set_timeouts", "connect", "open_request", "send",
                                     // "receive", "query", "proxy", "auth", "logon <target> <scheme>", "read",
                                     // "close session|connection|request|unknown"
    std::vector<RecordedRequest> requests;
    std::u16string user_agent;
    std::optional<HttpTimeouts> timeouts;
    int unscripted_requests = 0;
    int bad_closes = 0;  // null, unknown or already closed handles given to close_handle

    int open_handles() const { return static_cast<int>(handles_.size()); }
    // The calls logged, without "open_session" and "set_timeouts", joined by ", ".
    std::string request_calls() const;

    void set_timeouts(HttpHandle session, HttpTimeouts timeouts) override;
    Expected<void, std::uint32_t> send_request(HttpHandle request, std::u16string_view headers) override;
    Expected<void, std::uint32_t> receive_response(HttpHandle request) override;
    std::optional<std::uint32_t> query_status(HttpHandle request) override;
    std::optional<bool> went_through_proxy(HttpHandle request) override;
    std::optional<HttpAuthSchemes> query_auth_schemes(HttpHandle request) override;
    bool set_logon_credentials(HttpHandle request, std::uint32_t target, std::uint32_t scheme) override;
    Expected<std::size_t, std::uint32_t> read_data(HttpHandle request, std::span<std::byte> buffer) override;

protected:
    HttpHandle open_session_handle(const std::u16string& user_agent) override;
    HttpHandle connect_handle(HttpHandle session, const std::u16string& host, std::uint16_t port) override;
    HttpHandle open_request_handle(HttpHandle connection, const std::u16string& path, std::uint32_t flags) override;
    void close_handle(HttpHandle handle) override;

private:
    enum class Kind { Session, Connection, Request };
    struct Handle {
        Kind kind;
        std::size_t request = 0;  // index into requests_ / script_
    };
    HttpHandle make_handle(Kind kind, std::size_t request);
    const Handle* find(HttpHandle handle, Kind kind) const;

    std::map<HttpHandle, Handle> handles_;
    std::vector<ScriptedResponse> script_;  // the response taken by each request
    std::vector<std::size_t> chunk_;        // per request: the next chunk
    std::vector<std::size_t> offset_;       // per request: bytes of that chunk already read
    std::uintptr_t next_handle_ = 0x1000;
    std::size_t sessions_ = 0;
    void note(const std::string& event, HttpHandle session);
};

}  // namespace quarnet
