#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/release.h"
#include "base/result.h"
#include "list/json_outline.h"
#include "platform/environment.h"
#include "platform/list_trust.h"
#include "progress/progress_window.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::size_t LIST_SIZE_LIMIT = 65'536;

inline constexpr std::string_view LIST_UNREADABLE = "The installer list on the website could not be read.";
inline constexpr std::string_view LIST_INCOMPLETE = "The installer list on the website is incomplete.";

struct FetchedList {
    std::string base;  // the download base the list came from
    Release release;
};

// The four values as the body of latest.json gives them, before any rule of the
// list is applied (sha256 in its given case); nothing when the body is no
// readable JSON: the grammar broken, nested too deep or a number out of range.
std::optional<Release> read_list_values(std::string_view body);

// The four values as an outline of the list gives them, and the rules of the list on them.
Release list_values(const JsonOutline& outline);
Result<Release> check_list_values(Release release);

// The body of latest.json turned into a checked Release: strict JSON, then
// the four keys and their rules. Also what a publisher's list is checked with.
Result<Release> parse_installer_list(std::string_view body);

// With list keys pinned, the list is latest.signed.json instead (signed_list.h).
Result<FetchedList> fetch_installer_list(WebSession& session, ProgressWindow& window, Environment& environment,
                                         const ListTrust& trust = {});

}  // namespace quarnet
