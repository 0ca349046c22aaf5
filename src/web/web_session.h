#pragma once

#include <memory>
#include <string>

#include "platform/error_texts.h"
#include "platform/win_http.h"
#include "web/proxy_route.h"

namespace quarnet {

// The WinHTTP sessions of one run: the direct one, opened at once, and one for
// the proxy the requests go through, opened on first use; all closed when
// destroyed. Requests borrow them.
class WebSession {
public:
    WebSession(WinHttp& http, ErrorTexts& texts, std::u16string user_agent, HttpTimeouts timeouts = {});
    ~WebSession();

    // False when WinHttpOpen failed: no request can be made.
    bool opened() const { return direct_ != nullptr; }
    WinHttp& http() const { return http_; }
    ErrorTexts& error_texts() const { return texts_; }

    ProxyRoute route_for(const WebAddress& address, std::string_view url) {
        return proxies_.route_for(address, url, *direct_);
    }
    // The session whose requests take `route`, opened on first use; null when
    // WinHttpOpen fails. A session for another proxy closes the one before.
    HttpSession* session_for(const ProxyRoute& route);

private:
    WinHttp& http_;
    ErrorTexts& texts_;
    std::u16string user_agent_;
    HttpTimeouts timeouts_;
    std::unique_ptr<HttpSession> direct_;
    ProxyRoute proxy_;
    std::unique_ptr<HttpSession> proxied_;  // through proxy_
    ProxyResolver proxies_;
};

}  // namespace quarnet
