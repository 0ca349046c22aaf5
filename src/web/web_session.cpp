#include "web/web_session.h"

#include <utility>

namespace quarnet {

WebSession::WebSession(WinHttp& http, ErrorTexts& texts, std::u16string user_agent, HttpTimeouts timeouts)
    : http_(http),
      texts_(texts),
      user_agent_(std::move(user_agent)),
      timeouts_(timeouts),
      direct_(http.open_session(user_agent_, {}, timeouts)),
      proxies_(http) {}

WebSession::~WebSession() = default;

HttpSession* WebSession::session_for(const ProxyRoute& route) {
    if (route.empty()) return direct_.get();
    if (!proxied_ || proxy_ != route) {
        proxied_.reset();
        proxied_ = http_.open_session(user_agent_, route, timeouts_);
        proxy_ = route;
    }
    return proxied_.get();
}

}  // namespace quarnet
