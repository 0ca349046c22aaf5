#pragma once
// A scripted WinHttp: a queue of answers. Each request takes the next
// ScriptedResponse (a sign-in sent again takes the one after it) and is recorded
// as it was given. A request with none left fails at Send with 12029, a refused
// connection, and counts in `unscripted_requests`. The proxy settings and the
// answers of a proxy script are scripted too.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_http.h"

namespace quarnet {

struct ScriptedResponse {
    std::optional<HttpStage> fail_at;  // Connect, Open, Send or Receive fails with `last_error`
    std::uint32_t last_error = 0;
    std::optional<std::uint32_t> status = 200;   // nothing: the status cannot be read (0)
    std::vector<std::string> chunks;             // one per read, cut to the reader's buffer (the rest comes next)
    std::optional<std::size_t> fail_read_after;  // this many reads return data, then a read fails
    std::uint32_t read_error = 12030;            // the last error of that failing read
    std::optional<HttpAuthSchemes> schemes;      // of a 407
    std::string redirected_to;                   // where a redirect WinHTTP followed led
    bool credentials_fail = false;               // WinHttpSetCredentials fails: nothing is sent

    // `status` with `body` cut into chunks of `chunk_size` bytes (one empty body: no chunk).
    static ScriptedResponse ok(std::uint32_t status, std::string_view body, std::size_t chunk_size = 262'144);
    static ScriptedResponse failing_at(HttpStage stage, std::uint32_t last_error = 0);
};

struct RecordedRequest {
    std::string proxy;  // of the session it was sent on; empty: direct
    std::string host;
    std::uint16_t port = 0;
    std::string path;
    bool secure = false;
    std::string headers;                // as UTF-8
    std::vector<std::uint32_t> logons;  // the scheme of each sign-in
    std::size_t reads = 0;
    std::vector<std::span<std::byte>> read_buffers;
};

class FakeWinHttp : public WinHttp {
public:
    std::deque<bool> session_failures;  // one per open_session: true, it fails
    // Shared with the other doubles of a run: "open_session 1", "close 1", "open_session failed".
    std::vector<std::string>* journal = nullptr;
    std::deque<ScriptedResponse> responses;
    std::function<void()> before_each_read;  // called before every read of every request
    UserProxySetting user_setting;
    ProxyList machine_setting;
    std::deque<std::optional<std::string>> proxy_answers;  // one per proxy_for_url; none left: it fails
    // What happened.
    std::vector<RecordedRequest> requests;
    std::vector<std::string> proxy_questions;  // "url detect script" per proxy_for_url
    std::u16string user_agent;
    std::optional<HttpTimeouts> timeouts;
    int unscripted_requests = 0;
    int open_handles() const { return open_; }  // sessions and responses not yet closed

    std::unique_ptr<HttpSession> open_session(const std::u16string& agent, const std::string& proxy,
                                              HttpTimeouts given) override;
    HttpResult<std::unique_ptr<HttpResponse>> send(HttpSession& session, const HttpRequest& request) override;
    UserProxySetting user_proxy_setting() override { return user_setting; }
    ProxyList machine_proxy_setting() override { return machine_setting; }
    std::optional<std::string> proxy_for_url(HttpSession&, std::string_view url, bool detect,
                                             std::string_view script_url) override;

private:
    struct Session;
    class Response;
    ScriptedResponse next_response();
    void note(const std::string& event);
    int open_ = 0;
    int sessions_ = 0;
};

}  // namespace quarnet
