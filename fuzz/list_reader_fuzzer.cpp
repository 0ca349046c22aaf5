// The list reader against the nlohmann/json reading it replaced, kept here as
// the reference: for any body both find the same four values, or both find the
// body unreadable. The list's rules then apply to the same values, so the exe
// ends in the same list or the same message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "list/installer_list.h"

namespace {

using Json = nlohmann::json;
using quarnet::Release;

std::optional<Release> reference_values(std::string_view body) {
    if (body.starts_with("\xEF\xBB\xBF")) return std::nullopt;  // the parser would skip it
    // The parser takes a NUL byte outside strings for the end: the list read with it
    // let "{...}\0junk" through, against the rule of nothing but white space after the value.
    if (body.find('\0') != std::string_view::npos) return std::nullopt;
    bool too_deep = false;
    Json::parser_callback_t watch_depth = [&too_deep](int depth, Json::parse_event_t event, Json&) {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) && depth >= 127)
            too_deep = true;
        return true;
    };
    Json document = Json::parse(body.begin(), body.end(), watch_depth, /*allow_exceptions=*/false,
                                /*ignore_comments=*/false);
    if (document.is_discarded() || too_deep) return std::nullopt;
    Release list;
    if (!document.is_object()) return list;
    auto text = [&document](const char* key) {
        auto found = document.find(key);
        return found != document.end() && found->is_string() ? found->get<std::string>() : std::string();
    };
    list.version = text("version");
    list.file = text("file");
    list.sha256 = text("sha256");
    auto size = document.find("size");
    if (size != document.end() && size->is_number_unsigned()) list.size = size->get<std::uint64_t>();
    return list;
}

void print(const char* who, const std::optional<Release>& values) {
    if (!values) return (void)std::fprintf(stderr, "%s: unreadable\n", who);
    std::fprintf(stderr, "%s: version \"%s\" file \"%s\" sha256 \"%s\" size %llu\n", who, values->version.c_str(),
                 values->file.c_str(), values->sha256.c_str(), static_cast<unsigned long long>(values->size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    std::optional<Release> expected = reference_values(body);
    std::optional<Release> found = quarnet::read_list_values(body);
    if (found != expected) {
        print("reference", expected);
        print("reader", found);
        std::abort();
    }
    return 0;
}
