#pragma once
// One GET exchange over WinHTTP, on the sessions of a run.
//
// Which proxy, if any, stands between the program and a site, chosen as Windows
// users set it: the user's own setting (its detection or script first, then its
// fixed proxy), else the machine's WinHTTP setting, else none. The program then
// sends each request on the session of that proxy, so it always knows whether a
// proxy, and which one, answered.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/result.h"
#include "platform/error_texts.h"
#include "platform/win_http.h"
#include "web/web_address.h"

namespace quarnet {

// The "host:port" a request goes through; empty when it goes straight to the site.
using ProxyRoute = std::string;

// The proxy of a list for a scheme ("https"): the first entry named for it, else the
// first named for none; empty when there is none.
ProxyRoute proxy_from_list(std::string_view list, std::string_view scheme);
// Whether an entry of a bypass list names the address's host: "<local>" (a host
// without a dot), or a pattern where "*" stands for any text.
bool bypassed(std::string_view list, const WebAddress& address);

class ProxyResolver {
public:
    explicit ProxyResolver(WinHttp& http) : http_(http) {}

    // The route for `url`, parsed as `address`. The settings are read on the first
    // question, and a detection or script that failed is not asked again. `direct`
    // is the session WinHttpGetProxyForUrl runs on, with its time-outs; WinHTTP
    // keeps the script it found or fetched there for the session's other questions.
    ProxyRoute route_for(const WebAddress& address, std::string_view url, HttpSession& direct);

private:
    WinHttp& http_;
    bool read_ = false;
    UserProxySetting user_;  // when the user set nothing, the machine's fixed proxy alone
    bool automatic_failed_ = false;
};

// The WinHTTP sessions of one run: the direct one, opened at once, and one for
// the proxy the requests go through, opened on first use; all closed when
// destroyed. Requests borrow them.
class WebSession {
public:
    WebSession(WinHttp& http, ErrorTexts& texts, std::u16string user_agent, HttpTimeouts timeouts = {})
        : http_(http),
          texts_(texts),
          user_agent_(std::move(user_agent)),
          timeouts_(timeouts),
          direct_(http.open_session(user_agent_, proxy_, timeouts)),
          proxies_(http) {}

    // False when WinHttpOpen failed: no request can be made.
    bool opened() const { return direct_ != nullptr; }
    WinHttp& http() const { return http_; }
    ErrorTexts& error_texts() const { return texts_; }

    ProxyRoute route_for(const WebAddress& address, std::string_view url) {
        return proxies_.route_for(address, url, *direct_);
    }
    // The session whose requests take `route`, opened on first use; null when
    // WinHttpOpen fails. A session for another proxy closes the one before.
    HttpSession* session_for(const ProxyRoute& route) {
        if (route.empty()) return direct_.get();
        if (!proxied_ || proxy_ != route) {
            proxied_.reset();
            proxied_ = http_.open_session(user_agent_, route, timeouts_);
            proxy_ = route;
        }
        return proxied_.get();
    }

private:
    WinHttp& http_;
    ErrorTexts& texts_;
    std::u16string user_agent_;
    HttpTimeouts timeouts_;
    ProxyRoute proxy_;  // of proxied_; empty until one is opened
    std::unique_ptr<HttpSession> direct_;
    std::unique_ptr<HttpSession> proxied_;
    ProxyResolver proxies_;
};

inline constexpr std::size_t READ_CHUNK_SIZE = 262'144;

// One GET request in flight. Owns its response, whose handles close when it goes.
class HttpExchange {
public:
    std::uint32_t status() const { return response_->status(); }

private:
    friend Result<HttpExchange> open_get(WebSession&, std::string_view, std::string_view);
    friend Result<std::span<const std::byte>> read_chunk(HttpExchange&);
    HttpExchange(WebSession& session, std::unique_ptr<HttpResponse> response)
        : session_(&session), response_(std::move(response)) {}

    WebSession* session_;
    std::unique_ptr<HttpResponse> response_;
    std::unique_ptr<std::byte[]> buffer_;  // READ_CHUNK_SIZE bytes, made before the first read
};

// Sent with the list and the installer alike, so that a proxy or an edge server
// asks the site again rather than answer from its cache.
inline constexpr std::string_view NO_CACHE_HEADERS = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";

// `extra_headers` is UTF-8 wire form ("Name: value\r\n" lines) or empty.
Result<HttpExchange> open_get(WebSession& session, std::string_view address, std::string_view extra_headers);
// 1 to READ_CHUNK_SIZE bytes of body, valid until the next call; empty at the end.
Result<std::span<const std::byte>> read_chunk(HttpExchange& exchange);

// The message of a failed stage: its fixed sentence, with the host it was to
// reach and, for the stages that take one, the system's text for the error.
FailureMessage stage_failure(const HttpFailure& failure, const std::string& host, ErrorTexts& texts);

}  // namespace quarnet
