#include "web/http_exchange.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace quarnet {
namespace {

constexpr std::uint32_t HTTP_PROXY_AUTH_REQUIRED = 407;
// How often a redirect to an address with a route of its own is followed anew.
constexpr int ROUTE_CHANGES = 4;

// A proxy the program chose that asks for Negotiate or NTLM takes the logged-on
// user's own sign-in, as browsers give it silently. Nothing when the request went
// straight to the site (a 407 from the site itself, or from a host a redirect led
// to, gets nothing) or when the proxy asks for any other scheme (there is no name
// or password to give).
std::uint32_t proxy_logon_scheme(const HttpResponse& response, const ProxyRoute& route) {
    const auto& schemes = response.schemes();
    if (route.empty() || !schemes || schemes->target != HTTP_AUTH_TARGET_PROXY) return 0;
    return (schemes->supported & HTTP_AUTH_SCHEME_NEGOTIATE) != 0 ? HTTP_AUTH_SCHEME_NEGOTIATE
                                                                  : schemes->supported & HTTP_AUTH_SCHEME_NTLM;
}

// The request for an address, or the message of the stage a NUL in it would cut
// short at the WinHTTP call and send some other place.
Result<HttpRequest> request_for(const WebAddress& address, std::string_view extra_headers, ErrorTexts& texts) {
    if (address.host.find('\0') != std::string::npos)
        return std::unexpected(stage_failure({HttpStage::Connect, 0}, without_nuls(address.host), texts));
    if (address.path.find('\0') != std::string::npos)
        return std::unexpected(stage_failure({HttpStage::Open, 0}, address.host, texts));
    return HttpRequest{to_utf16(address.host), address.port, to_utf16(address.path), address.secure,
                       to_utf16(extra_headers)};
}

}  // namespace

FailureMessage stage_failure(const HttpFailure& failure, const std::string& host, ErrorTexts& texts) {
    const std::string detail =
        failure.stage >= HttpStage::Send ? error_detail(winhttp_error_code(failure.last_error), texts) : "";
    switch (failure.stage) {
        case HttpStage::Connect:
            return FailureMessage("Could not reach " + host + ".");
        case HttpStage::Open:
            return FailureMessage("Could not start the download.");
        case HttpStage::Send:
            return FailureMessage("No connection to " + host + detail + ".");
        case HttpStage::Receive:
            return FailureMessage(host + " did not answer" + detail + ".");
        case HttpStage::Read:
            break;
    }
    return FailureMessage("The download stopped" + detail + ".");
}

Result<HttpExchange> open_get(WebSession& session, std::string_view address, std::string_view extra_headers) {
    WebAddress web = TRY(parse_web_address(address));
    std::string url(address);
    for (int changes = 0;; ++changes) {
        HttpRequest request = TRY(request_for(web, extra_headers, session.error_texts()));
        ProxyRoute route = session.route_for(web, url);
        // A session for the proxy that WinHttpOpen refused reaches nothing.
        HttpSession* through = session.session_for(route);
        auto sent = through != nullptr ? session.http().send(*through, request)
                                       : std::unexpected(HttpFailure{HttpStage::Connect, 0});
        if (!sent) return std::unexpected(stage_failure(sent.error(), web.host, session.error_texts()));
        HttpResponse& response = **sent;

        // WinHTTP follows a redirect on the session it has; an address whose own
        // route is another is asked again there, so that its answer comes by that route.
        if (!response.redirected_to().empty() && changes < ROUTE_CHANGES) {
            auto next = parse_web_address(response.redirected_to());
            if (next && session.route_for(*next, response.redirected_to()) != route) {
                web = std::move(*next);
                url = response.redirected_to();
                continue;
            }
        }
        // A 407 from the chosen proxy gets one more send of the same request, with the
        // sign-in set. If that is refused too, or no sign-in could be set, the 407 stands.
        if (response.status() == HTTP_PROXY_AUTH_REQUIRED) {
            if (std::uint32_t scheme = proxy_logon_scheme(response, route)) {
                auto signed_in = response.sign_in_to_proxy(scheme);
                if (!signed_in)
                    return std::unexpected(stage_failure(signed_in.error(), web.host, session.error_texts()));
            }
        }
        return HttpExchange(session, std::move(*sent));
    }
}

Result<std::span<const std::byte>> read_chunk(HttpExchange& exchange) {
    if (!exchange.buffer_) exchange.buffer_ = std::make_unique<std::byte[]>(READ_CHUNK_SIZE);  // zero-filled
    std::span<std::byte> buffer(exchange.buffer_.get(), READ_CHUNK_SIZE);
    auto count = exchange.response_->read(buffer);
    // The host is not needed: a failed read names none.
    if (!count) return std::unexpected(stage_failure(count.error(), {}, exchange.session_->error_texts()));
    // Never trust a count beyond the buffer.
    return std::span<const std::byte>(buffer.data(), std::min(*count, READ_CHUNK_SIZE));
}

}  // namespace quarnet
