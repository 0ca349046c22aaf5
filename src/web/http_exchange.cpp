#include "web/http_exchange.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/text.h"

namespace quarnet {
namespace {

constexpr std::uint32_t HTTP_PROXY_AUTH_REQUIRED = 407;

std::string detail_of(WebSession& session, std::uint32_t last_error) {
    return error_detail(winhttp_error_code(last_error), session.error_texts());
}

// Sends the request and receives its answer. With `may_resend`, WinHTTP's
// ERROR_WINHTTP_RESEND_REQUEST from either call allows one more send.
Result<void> send_and_receive(WebSession& session, HttpHandle request, std::u16string_view headers,
                              const std::string& host, bool may_resend) {
    WinHttp& http = session.http();
    for (;; may_resend = false) {
        if (auto sent = http.send_request(request, headers); !sent) {
            if (may_resend && sent.error() == ERROR_CODE_HTTP_RESEND_REQUEST) continue;
            return failure("No connection to " + host + detail_of(session, sent.error()) + ".");
        }
        if (auto received = http.receive_response(request); !received) {
            if (may_resend && received.error() == ERROR_CODE_HTTP_RESEND_REQUEST) continue;
            return failure(host + " did not answer" + detail_of(session, received.error()) + ".");
        }
        return {};
    }
}

// A proxy that asks for Negotiate or NTLM takes the logged-on user's own
// sign-in, as browsers give it silently. False when WinHTTP cannot say that the
// request went through a proxy (a 407 from the site itself, or from a host a
// redirect led to, gets nothing), when the proxy asks for any other scheme
// (there is no name or password to give) or when a call fails.
bool set_proxy_logon(WinHttp& http, HttpHandle request) {
    if (!http.went_through_proxy(request).value_or(false)) return false;
    std::optional<HttpAuthSchemes> schemes = http.query_auth_schemes(request);
    if (!schemes || schemes->target != HTTP_AUTH_TARGET_PROXY) return false;
    std::uint32_t scheme = (schemes->supported & HTTP_AUTH_SCHEME_NEGOTIATE) != 0
                               ? HTTP_AUTH_SCHEME_NEGOTIATE
                               : schemes->supported & HTTP_AUTH_SCHEME_NTLM;
    return scheme != 0 && http.set_logon_credentials(request, HTTP_AUTH_TARGET_PROXY, scheme);
}

}  // namespace

HttpExchange::HttpExchange(WebSession& session, WebAddress address)
    : session_(&session), address_(std::move(address)) {}

HttpExchange::~HttpExchange() = default;

Result<HttpExchange> open_get(WebSession& session, std::string_view address, std::string_view extra_headers) {
    // Every early return below destroys `exchange`, which closes what was opened.
    HttpExchange exchange(session, TRY(parse_web_address(address)));
    WinHttp& http = session.http();
    const std::string& host = exchange.address_.host;

    // A NUL inside the host or path would cut the text short at the WinHTTP
    // call and reach some other place; such an address fails at its stage.
    OsResult<std::u16string> wide_host = to_utf16_path(host);
    if (!wide_host) return failure("Could not reach " + without_nuls(host) + ".");
    exchange.host_ = std::move(*wide_host);
    exchange.connection_ = http.connect(session.handle(), exchange.host_, exchange.address_.port);
    if (!exchange.connection_.valid()) return failure("Could not reach " + host + ".");

    OsResult<std::u16string> wide_path = to_utf16_path(exchange.address_.path);
    if (!wide_path) return failure("Could not start the download.");
    exchange.path_ = std::move(*wide_path);
    std::uint32_t flags = exchange.address_.secure ? WINHTTP_OPEN_FLAG_SECURE : 0;
    exchange.request_ = http.open_request(exchange.connection_.get(), exchange.path_, flags);
    if (!exchange.request_.valid()) return failure("Could not start the download.");

    exchange.headers_ = to_utf16(extra_headers);
    HttpHandle request = exchange.request_.get();
    TRY(send_and_receive(session, request, exchange.headers_, host, false));
    exchange.status_ = http.query_status(request).value_or(0);

    // A 407 from a proxy gets one more send of the same request, with the sign-in set.
    // If that is refused too, or no sign-in could be set, the 407 stands.
    if (exchange.status_ == HTTP_PROXY_AUTH_REQUIRED && set_proxy_logon(http, request)) {
        TRY(send_and_receive(session, request, exchange.headers_, host, true));
        exchange.status_ = http.query_status(request).value_or(0);
    }
    return exchange;
}

Result<std::span<const std::byte>> read_chunk(HttpExchange& exchange) {
    if (!exchange.buffer_) exchange.buffer_ = std::make_unique<std::byte[]>(READ_CHUNK_SIZE);  // zero-filled
    std::span<std::byte> buffer(exchange.buffer_.get(), READ_CHUNK_SIZE);
    auto count = exchange.session_->http().read_data(exchange.request_.get(), buffer);
    if (!count) return failure("The download stopped" + detail_of(*exchange.session_, count.error()) + ".");
    // Never trust a count beyond the buffer.
    return std::span<const std::byte>(buffer.data(), std::min(*count, READ_CHUNK_SIZE));
}

}  // namespace quarnet
