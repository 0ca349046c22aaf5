#pragma once
// One GET exchange over WinHTTP, on the sessions of a run. Each request goes on
// the session of the proxy chosen for its address (web/proxy_route.h), so the
// program always knows whether a proxy, and which one, answered.

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
#include "web/web_session.h"

namespace quarnet {

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
