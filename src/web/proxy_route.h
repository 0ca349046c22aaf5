#pragma once
// Which proxy, if any, stands between the program and a site, chosen as Windows
// users set it: the user's own setting (its detection or script first, then its
// fixed proxy), else the machine's WinHTTP setting, else none.

#include <string>
#include <string_view>

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

}  // namespace quarnet
