#include "web/web_address.h"

#include <cstdint>
#include <optional>

#include "base/product.h"

namespace quarnet {
namespace {

constexpr std::string_view BASE_VARIABLE = "QUARNET_SETUP_URL";
constexpr std::string_view HTTPS_SCHEME = "https://";
constexpr std::string_view HTTP_SCHEME = "http://";

// An optional single "+", then one or more ASCII digits (leading zeros allowed),
// with a value of at most 65535.
std::optional<std::uint16_t> read_port(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) return std::nullopt;  // checked per digit, so it never overflows
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string choose_download_base(Environment& environment) {
    EnvironmentValue variable = environment.read(BASE_VARIABLE);
    std::string base = variable.state == EnvironmentValue::State::Set
                           ? std::move(variable.value)
                           : std::string("https://") + std::string(PRODUCT_WEB_HOST) + "/downloads/";
    if (!base.ends_with('/')) base += '/';
    return base;
}

std::string installer_list_address(std::string_view base) {
    std::string address(base);
    address += "latest.json";
    return address;
}

std::string signed_list_address(std::string_view base) {
    std::string address(base);
    address += "latest.signed.json";
    return address;
}

std::string installer_address(std::string_view base, std::string_view file) {
    std::string address(base);
    address += file;
    return address;
}

Result<WebAddress> parse_web_address(std::string_view text) {
    WebAddress address;
    std::string_view rest;
    if (text.starts_with(HTTPS_SCHEME)) {
        address.secure = true;
        rest = text.substr(HTTPS_SCHEME.size());
    } else if (text.starts_with(HTTP_SCHEME)) {
        address.secure = false;
        rest = text.substr(HTTP_SCHEME.size());
    } else {
        return failure("Not a web address: " + without_nuls(text));
    }

    std::string_view host_part = rest;
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        address.path = "/";
    } else {
        host_part = rest.substr(0, slash);
        address.path = std::string(rest.substr(slash));
    }

    std::size_t colon = host_part.rfind(':');
    if (colon == std::string_view::npos) {
        address.host = std::string(host_part);
        address.port = address.secure ? 443 : 80;
    } else {
        std::optional<std::uint16_t> port = read_port(host_part.substr(colon + 1));
        if (!port) return failure("Bad port in " + without_nuls(text));
        address.host = std::string(host_part.substr(0, colon));
        address.port = *port;
    }

    if (!address.secure && address.host != "127.0.0.1" && address.host != "localhost") {
        return failure("The download address must use https.");
    }
    return address;
}

std::string without_nuls(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != '\0') kept += c;
    }
    return kept;
}

}  // namespace quarnet
