#pragma once
// WinHTTP at the level of one exchange: a request goes in; out comes its answer
// (the status, the schemes of a sign-in request, where a redirect led, the body)
// or the stage that failed with the last error of its call, read at once. The
// order of the calls lives in the Windows implementation alone. Beside it, the
// proxy settings as Windows keeps them, and the answer of a proxy script.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/expected.h"

namespace quarnet {

struct HttpTimeouts {
    int resolve_ms;
    int connect_ms;
    int send_ms;
    int receive_ms;
};

inline constexpr std::uint32_t HTTP_AUTH_SCHEME_NTLM = 0x02;
inline constexpr std::uint32_t HTTP_AUTH_SCHEME_NEGOTIATE = 0x10;
inline constexpr std::uint32_t HTTP_AUTH_TARGET_PROXY = 1;

// The call that failed: WinHttpConnect, WinHttpOpenRequest, WinHttpSendRequest,
// WinHttpReceiveResponse or WinHttpReadData.
enum class HttpStage { Connect, Open, Send, Receive, Read };

struct HttpFailure {
    HttpStage stage;
    std::uint32_t last_error;
};

template <class T>
using HttpResult = Expected<T, HttpFailure>;

// One GET. Host and path hold no NUL; headers are "Name: value\r\n" lines or empty.
struct HttpRequest {
    std::u16string host;
    std::uint16_t port = 0;
    std::u16string path;
    bool secure = false;  // WINHTTP_FLAG_SECURE
    std::u16string headers;
};

// What WinHttpQueryAuthSchemes tells of an answer that asks for a sign-in.
struct HttpAuthSchemes {
    std::uint32_t supported;  // HTTP_AUTH_SCHEME_* bits
    std::uint32_t target;     // HTTP_AUTH_TARGET_PROXY, or 0 for the server
};

// A request whose answer has come; its handles close, request first, when it goes.
class HttpResponse {
public:
    virtual ~HttpResponse() = default;

    std::uint32_t status() const { return status_; }  // 0 when it cannot be read
    // Of a 407 only; nothing when the query fails.
    const std::optional<HttpAuthSchemes>& schemes() const { return schemes_; }
    // The address the last redirect WinHTTP followed led to (UTF-8); empty when none.
    const std::string& redirected_to() const { return redirected_to_; }

    // The logged-on user's own sign-in for the proxy (WinHttpSetCredentials with
    // no name and password), then the same request once more; status and schemes
    // are read anew. When the credentials cannot be set, nothing is sent.
    virtual HttpResult<void> sign_in_to_proxy(std::uint32_t scheme) = 0;
    // WinHttpReadData into `buffer`: the count, 0 at the end of the body.
    virtual HttpResult<std::size_t> read(std::span<std::byte> buffer) = 0;

protected:
    std::uint32_t status_ = 0;
    std::optional<HttpAuthSchemes> schemes_;
    std::string redirected_to_;
};

// A WinHTTP session; closed when it goes.
class HttpSession {
public:
    virtual ~HttpSession() = default;
};

// A proxy list ("host:port", or per scheme "http=a:8080;https=b:8080") and the
// hosts that bypass it ("<local>;*.example.com"), in UTF-8 as Windows keeps them.
struct ProxyList {
    std::string proxy;
    std::string bypass;
};

// WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, the user's own setting.
struct UserProxySetting {
    bool auto_detect = false;
    std::string script_url;
    ProxyList fixed;
};

class WinHttp {
public:
    virtual ~WinHttp() = default;

    // WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_NO_PROXY, or WINHTTP_ACCESS_TYPE_NAMED_PROXY with
    // `proxy`, no bypass list, 0) and WinHttpSetTimeouts on it (a failure of which is
    // ignored); null when WinHttpOpen fails.
    virtual std::unique_ptr<HttpSession> open_session(const std::u16string& user_agent, const std::string& proxy,
                                                      HttpTimeouts timeouts) = 0;
    // Connect, open, send and receive; then the status and, for a 407, the schemes.
    virtual HttpResult<std::unique_ptr<HttpResponse>> send(HttpSession& session, const HttpRequest& request) = 0;

    // WinHttpGetIEProxyConfigForCurrentUser; nothing set when it fails.
    virtual UserProxySetting user_proxy_setting() = 0;
    // WinHttpGetDefaultProxyConfiguration (what "netsh winhttp set proxy" writes); no
    // proxy when it fails or names none.
    virtual ProxyList machine_proxy_setting() = 0;
    // WinHttpGetProxyForUrl on `session`, by detection (DHCP and DNS) and/or the script at
    // `script_url`: the proxy list for `url`, empty for direct; nothing when it fails.
    virtual std::optional<std::string> proxy_for_url(HttpSession& session, std::string_view url, bool detect,
                                                     std::string_view script_url) = 0;
};

}  // namespace quarnet
