#include "web/http_exchange.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace quarnet {
namespace {

std::string detail_of(WebSession& session, std::uint32_t last_error) {
    return error_detail(winhttp_error_code(last_error), session.error_texts());
}

}  // namespace

HttpExchange::HttpExchange(WebSession& session, WebAddress address)
    : session_(&session), address_(std::move(address)) {}

HttpExchange::~HttpExchange() = default;

Result<HttpExchange> open_get(WebSession& session, std::string_view address, std::string_view extra_headers) {
    Result<WebAddress> parsed = parse_web_address(address);
    if (!parsed) return std::unexpected(std::move(parsed.error()));

    // Every early return below destroys `exchange`, which closes what was opened.
    HttpExchange exchange(session, std::move(*parsed));
    WinHttp& http = session.http();
    const std::string& host = exchange.address_.host;

    // A NUL inside the host or path would cut the text short at the WinHTTP
    // call and reach some other place; such an address fails at its stage.
    OsResult<std::u16string> wide_host = to_utf16_path(host);
    if (!wide_host) return failure("Could not reach " + host + ".");
    exchange.host_ = std::move(*wide_host);
    exchange.connection_ =
        UniqueHttpHandle(http, http.connect(session.handle(), exchange.host_, exchange.address_.port));
    if (!exchange.connection_.valid()) return failure("Could not reach " + host + ".");

    OsResult<std::u16string> wide_path = to_utf16_path(exchange.address_.path);
    if (!wide_path) return failure("Could not start the download.");
    exchange.path_ = std::move(*wide_path);
    std::uint32_t flags = exchange.address_.secure ? WINHTTP_OPEN_FLAG_SECURE : 0;
    exchange.request_ = UniqueHttpHandle(http, http.open_request(exchange.connection_.get(), exchange.path_, flags));
    if (!exchange.request_.valid()) return failure("Could not start the download.");

    exchange.headers_ = to_utf16(extra_headers);
    if (auto sent = http.send_request(exchange.request_.get(), exchange.headers_); !sent) {
        return failure("No connection to " + host + detail_of(session, sent.error()) + ".");
    }
    if (auto received = http.receive_response(exchange.request_.get()); !received) {
        return failure(host + " did not answer" + detail_of(session, received.error()) + ".");
    }
    exchange.status_ = http.query_status(exchange.request_.get()).value_or(0);
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
