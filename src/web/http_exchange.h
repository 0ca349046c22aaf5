#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"
#include "web/web_address.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::size_t READ_CHUNK_SIZE = 262'144;

// One GET request in flight. Owns its request and connection handles and closes
// them, request first, when destroyed.
class HttpExchange {
public:
    ~HttpExchange();
    HttpExchange(HttpExchange&&) noexcept = default;
    HttpExchange& operator=(HttpExchange&&) = delete;
    HttpExchange(const HttpExchange&) = delete;

    std::uint32_t status() const { return status_; }

private:
    friend Result<HttpExchange> open_get(WebSession&, std::string_view, std::string_view);
    friend Result<std::span<const std::byte>> read_chunk(HttpExchange&);
    HttpExchange(WebSession& session, WebAddress address);

    WebSession* session_;
    WebAddress address_;
    // NUL-terminated copies handed to WinHTTP; they live as long as the handles.
    std::u16string host_;
    std::u16string path_;
    std::u16string headers_;  // no terminator: its length goes with it
    // Declared in this order so that the request closes first.
    UniqueHttpHandle connection_;
    UniqueHttpHandle request_;
    std::uint32_t status_ = 0;
    std::unique_ptr<std::byte[]> buffer_;  // READ_CHUNK_SIZE bytes, made before the first read
};

// Sent with the list and the installer alike, so that a proxy or an edge server
// asks the site again rather than answer from its cache.
inline constexpr std::string_view NO_CACHE_HEADERS = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";

// `extra_headers` is UTF-8 wire form ("Name: value\r\n" lines) or empty.
Result<HttpExchange> open_get(WebSession& session, std::string_view address, std::string_view extra_headers);
// 1 to READ_CHUNK_SIZE bytes of body, valid until the next call; empty at the end.
Result<std::span<const std::byte>> read_chunk(HttpExchange& exchange);

}  // namespace quarnet
