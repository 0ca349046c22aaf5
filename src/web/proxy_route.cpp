#include "web/proxy_route.h"

#include <algorithm>

namespace quarnet {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// "*" in the pattern stands for any run of characters; case is ignored. Without a
// "*" this is a comparison that ignores case.
bool matches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
            ++p, ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The next entry of a list separated by ";", "," or white space; empty at its end.
std::string_view next_entry(std::string_view& list) {
    for (;;) {
        std::size_t end = std::min(list.find_first_of(";, \t\r\n"), list.size());
        std::string_view entry(list.data(), end);
        list.remove_prefix(std::min(end + 1, list.size()));
        if (!entry.empty() || list.empty()) return entry;
    }
}

}  // namespace

ProxyRoute proxy_from_list(std::string_view list, std::string_view scheme) {
    std::string_view chosen;
    for (std::string_view entry; !(entry = next_entry(list)).empty();) {
        std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (chosen.empty()) chosen = entry;
        } else if (matches(std::string_view(entry.data(), equals), scheme)) {
            chosen = entry;
            chosen.remove_prefix(equals + 1);
            break;
        }
    }
    return ProxyRoute(chosen);
}

bool bypassed(std::string_view list, const WebAddress& address) {
    for (std::string_view entry; !(entry = next_entry(list)).empty();) {
        if (matches("<local>", entry) ? address.host.find('.') == std::string::npos : matches(entry, address.host))
            return true;
    }
    return false;
}

ProxyRoute ProxyResolver::route_for(const WebAddress& address, std::string_view url, HttpSession& direct) {
    // The program's own machine is never reached through a proxy.
    if (bypassed("127.0.0.1;localhost", address)) return {};
    if (!read_) {
        read_ = true;
        user_ = http_.user_proxy_setting();
        // When the user set nothing, the machine's setting stands in for the fixed proxy.
        if (!user_.auto_detect && user_.script_url.empty() && user_.fixed.proxy.empty())
            user_.fixed = http_.machine_proxy_setting();
    }
    const std::string_view scheme = address.secure ? "https" : "http";
    // Like a browser, a detection or script that fails leaves the fixed proxy, or none.
    if ((user_.auto_detect || !user_.script_url.empty()) && !automatic_failed_) {
        auto answer = http_.proxy_for_url(direct, url, user_.auto_detect, user_.script_url);
        if (answer) return proxy_from_list(*answer, scheme);
        automatic_failed_ = true;
    }
    return bypassed(user_.fixed.bypass, address) ? ProxyRoute{} : proxy_from_list(user_.fixed.proxy, scheme);
}

}  // namespace quarnet
