#include "list/installer_list.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "web/http_exchange.h"
#include "web/web_address.h"

namespace quarnet {
namespace {

constexpr std::string_view FINDING_TEXT = "Finding the newest Pelorin…";
constexpr std::string_view UNREADABLE = "The installer list on the website could not be read.";
constexpr std::string_view INCOMPLETE = "The installer list on the website is incomplete.";
constexpr std::string_view TOO_LARGE = "The installer list on the website is too large.";

// Arrays and objects nest at most this deep, the outermost counting as one.
constexpr int NESTING_LIMIT = 127;
constexpr std::string_view UTF8_BYTE_ORDER_MARK = "\xEF\xBB\xBF";

using Json = nlohmann::json;

// Strict JSON, or nothing. The parser would skip a byte-order mark and knows no
// depth limit, so both are enforced here.
std::optional<Json> parse_strict(std::string_view body) {
    if (body.starts_with(UTF8_BYTE_ORDER_MARK)) return std::nullopt;
    bool too_deep = false;
    Json::parser_callback_t watch_depth = [&too_deep](int depth, Json::parse_event_t event, Json&) {
        // `depth` counts the containers around the one starting here.
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
            depth >= NESTING_LIMIT)
            too_deep = true;
        return true;
    };
    Json value = Json::parse(body.begin(), body.end(), watch_depth, /*allow_exceptions=*/false,
                             /*ignore_comments=*/false);
    if (value.is_discarded() || too_deep) return std::nullopt;
    return value;
}

std::string string_or_empty(const Json& document, const char* key) {
    if (!document.is_object()) return {};
    auto found = document.find(key);
    if (found == document.end() || !found->is_string()) return {};
    return found->get<std::string>();
}

// Only a number written as a non-negative integer that fits 64 bits counts.
std::uint64_t size_or_zero(const Json& document) {
    if (!document.is_object()) return 0;
    auto found = document.find("size");
    if (found == document.end() || !found->is_number_unsigned()) return 0;
    return found->get<std::uint64_t>();
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ascii_lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = ascii_lower(c);
    return lowered;
}

// A plain file name that ends in ".exe" and cannot leave the work folder.
bool acceptable_file_name(std::string_view file) {
    return !file.empty() && ascii_lowered(file).ends_with(".exe") &&
           file.find_first_of("/\\:") == std::string_view::npos && file.find("..") == std::string_view::npos;
}

bool lower_hex_digest(std::string_view digest) {
    if (digest.size() != 64) return false;
    for (char c : digest) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace

Result<InstallerList> parse_installer_list(std::string_view body) {
    std::optional<Json> document = parse_strict(body);
    if (!document) return failure(std::string(UNREADABLE));

    InstallerList list;
    list.version = string_or_empty(*document, "version");
    list.file = string_or_empty(*document, "file");
    list.sha256 = ascii_lowered(string_or_empty(*document, "sha256"));
    list.size = size_or_zero(*document);

    if (!acceptable_file_name(list.file) || list.size == 0 || !lower_hex_digest(list.sha256))
        return failure(std::string(INCOMPLETE));
    return list;
}

Result<FetchedList> fetch_installer_list(WebSession& session, ProgressWindow& window, Environment& environment) {
    std::string base = choose_download_base(environment);
    window.set_line(1, FINDING_TEXT);

    std::string body;
    std::uint32_t status = 0;
    {
        Result<HttpExchange> exchange = open_get(session, installer_list_address(base), {});
        if (!exchange) return std::unexpected(std::move(exchange.error()));
        status = exchange->status();
        if (status == 200 || status == 206) {
            for (;;) {
                Result<std::span<const std::byte>> chunk = read_chunk(*exchange);
                if (!chunk) return std::unexpected(std::move(chunk.error()));
                if (chunk->empty()) break;
                body.append(reinterpret_cast<const char*>(chunk->data()), chunk->size());
                if (body.size() > LIST_SIZE_LIMIT) return failure(std::string(TOO_LARGE));
            }
        }
    }  // the exchange is closed before its status is judged

    if (status != 200) {
        return failure("The website did not give the installer list (HTTP " + std::to_string(status) + ").");
    }
    Result<InstallerList> list = parse_installer_list(body);
    if (!list) return std::unexpected(std::move(list.error()));
    return FetchedList{std::move(base), std::move(*list)};
}

}  // namespace quarnet
