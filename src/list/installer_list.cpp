#include "list/installer_list.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "base/hex.h"
#include "list/json_outline.h"
#include "list/signed_list.h"
#include "web/http_exchange.h"
#include "web/web_address.h"

namespace quarnet {
namespace {

constexpr std::string_view FINDING_TEXT = "Finding the newest Pelorin…";
constexpr std::string_view TOO_LARGE = "The installer list on the website is too large.";

// Only a number written as a non-negative integer that fits 64 bits counts as a size.
std::uint64_t size_or_zero(std::string_view number) {
    std::uint64_t size = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), size);
    return error == std::errc{} && end == number.data() + number.size() ? size : 0;
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

}  // namespace

Release list_values(const JsonOutline& outline) {
    auto text = [&outline](std::string_view key) {
        const std::string* found = string_member(outline, key);
        return found ? *found : std::string();
    };
    const JsonValue* size = find_member(outline, "size");
    const bool whole = size && size->kind == JsonValue::Kind::Number;
    return {text("version"), text("file"), text("sha256"), whole ? size_or_zero(size->text) : 0};
}

std::optional<Release> read_list_values(std::string_view body) {
    std::optional<JsonOutline> outline = read_json_outline(body);
    if (!outline) return std::nullopt;
    return list_values(*outline);
}

Result<Release> check_list_values(Release release) {
    release.sha256 = ascii_lowered(release.sha256);
    if (!acceptable_file_name(release.file) || release.size == 0 || !is_lower_hex(release.sha256, 64))
        return failure(std::string(LIST_INCOMPLETE));
    return release;
}

Result<Release> parse_installer_list(std::string_view body) {
    std::optional<Release> release = read_list_values(body);
    if (!release) return failure(std::string(LIST_UNREADABLE));
    return check_list_values(std::move(*release));
}

Result<FetchedList> fetch_installer_list(WebSession& session, ProgressWindow& window, Environment& environment,
                                         const ListTrust& trust) {
    std::string base = choose_download_base(environment);
    window.set_line(1, FINDING_TEXT);

    std::string body;
    std::uint32_t status = 0;
    {
        const std::string address = trust.keys.empty() ? installer_list_address(base) : signed_list_address(base);
        HttpExchange exchange = TRY(open_get(session, address, NO_CACHE_HEADERS));
        status = exchange.status();
        if (status == 200 || status == 206) {
            for (;;) {
                std::span<const std::byte> chunk = TRY(read_chunk(exchange));
                if (chunk.empty()) break;
                body.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
                if (body.size() > LIST_SIZE_LIMIT) return failure(std::string(TOO_LARGE));
            }
        }
    }  // the exchange is closed before its status is judged

    if (status != 200) {
        return failure("The website did not give the installer list (HTTP " + std::to_string(status) + ").");
    }
    Release release = TRY(trust.keys.empty() ? parse_installer_list(body) : read_signed_list(body, trust));
    return FetchedList{std::move(base), std::move(release)};
}

}  // namespace quarnet
