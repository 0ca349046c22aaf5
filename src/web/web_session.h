#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error_texts.h"
#include "platform/win_http.h"
#include "web/proxy_route.h"
#include "web/web_address.h"

namespace quarnet {

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

}  // namespace quarnet
