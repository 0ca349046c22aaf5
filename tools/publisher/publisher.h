#pragma once
// publish-list: writes and checks latest.json for the download site with the
// client's own list code, so a list that passes here is one the client accepts.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "list/installer_list.h"
#include "list/signed_list.h"

namespace quarnet::publisher {

enum ExitCode : int { EXIT_OK = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2 };

// What the client compares a downloaded installer with.
struct InstallerFacts {
    std::string name;  // the base name, as the list is to give it
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hexadecimal
};

// Reads the whole file once; the error is a sentence naming the file.
std::optional<InstallerFacts> read_installer(const std::filesystem::path& path, std::string& error);

// The latest.json text for an installer; nothing, with the error naming the field,
// when the version or the file name is not valid UTF-8.
std::optional<std::string> list_document(const InstallerFacts& installer, std::string_view version, std::string& error);

struct Verdict {
    std::optional<Release> accepted;   // set when the client takes the list and it fits the installer
    std::string client_message;        // what the client would show, when it would refuse
    std::vector<std::string> reasons;  // why, in words for whoever hosts the site
};

// The client's rules on a list body and, when an installer is given, the final
// check the client would make of that installer.
Verdict judge_list(std::string_view body, const InstallerFacts* installer);

// The rules of an exe that pins `keys` and `min_version` on latest.signed.json at
// the time `now` (seconds since 1970, UTC), then the installer as judge_list does.
Verdict judge_signed_list(std::string_view body, std::span<const ListKey> keys, std::string_view min_version,
                          std::int64_t now, const InstallerFacts* installer);

// The final check the client would make of an installer against an accepted list.
Verdict compared_with_installer(const Release& release, const InstallerFacts* installer);

// Why a signed list is refused before its payload is read, as far as can be told.
std::vector<std::string> envelope_problems(std::string_view body, std::span<const ListKey> keys);

// Why a list body breaks the client's rules, as far as can be told; advice only,
// the verdict is always the client's own.
std::vector<std::string> list_problems(std::string_view body);

// The command line without the program name.
int run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace quarnet::publisher
