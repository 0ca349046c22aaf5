#include "publisher.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <system_error>

#include "list/json_outline.h"
#include "list/utc_time.h"
#include "signing.h"
#include "store/digest.h"

namespace quarnet::publisher {
namespace {

// The client's texts for the two checks that happen outside parse_installer_list:
// the body limit while the list is read, and the final check of the download.
constexpr std::string_view LIST_TOO_LARGE = "The installer list on the website is too large.";
constexpr std::string_view DOWNLOAD_DAMAGED = "The download was damaged on the way, so it was deleted.";

constexpr std::size_t READ_BLOCK = 1 << 20;

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string type_name(const nlohmann::json& value) {
    if (value.is_number_float()) return "a number with a fraction or exponent";
    if (value.is_number_integer() && !value.is_number_unsigned()) return "a negative number";
    return std::string("a ") + value.type_name();
}

void add_name_problems(std::string_view name, std::vector<std::string>& problems) {
    if (name.empty()) {
        problems.push_back("\"file\" is empty");
        return;
    }
    const std::string shown = in_quotes(name);
    if (!ascii_lower(name).ends_with(".exe")) problems.push_back("the file name " + shown + " does not end in .exe");
    for (char c : {'/', '\\', ':'}) {
        if (name.find(c) != std::string_view::npos) {
            problems.push_back("the file name " + shown + " holds " + in_quotes(std::string(1, c)) +
                               ", which would reach outside the client's work folder");
        }
    }
    if (name.find("..") != std::string_view::npos) problems.push_back("the file name " + shown + " holds \"..\"");
}

void print_refusal(std::ostream& err, const std::string& what, const Verdict& verdict) {
    err << "publish-list: " << what << " is refused:\n";
    for (const auto& reason : verdict.reasons) err << "  - " << reason << "\n";
    if (!verdict.client_message.empty()) err << "The client would say: " << verdict.client_message << "\n";
}

void print_accepted(std::ostream& out, const std::string& what, const Release& release) {
    out << what << ": version " << in_quotes(release.version) << ", file " << in_quotes(release.file) << ", "
        << release.size << " bytes, sha256 " << release.sha256 << "\n";
}

constexpr std::string_view USAGE =
    "usage: publish-list write <installer-file> <version> [-o latest.json] [--key private.pem]... [--days N]\n"
    "       publish-list resign <latest.signed.json> --key private.pem [--key private.pem]... --days N\n"
    "       publish-list check <latest.json> [<installer-file>]\n"
    "       publish-list check <latest.signed.json> --keys public.pem [--min-version V] [<installer-file>]\n"
    "With --key, write also signs the list into latest.signed.json beside latest.json, to expire\n"
    "in N days (1 to 3650); resign gives a signed list a new expiry and new signatures.\n";

constexpr std::int64_t SECONDS_PER_DAY = 86'400;

// The options of a command, and the rest in order.
struct Arguments {
    std::vector<std::string> positional;
    std::optional<std::string> output, public_keys, min_version, days;
    std::vector<std::string> private_keys;
};

std::optional<Arguments> parse_arguments(std::span<const std::string> args, std::string& problem) {
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::optional<std::string>* option = args[i] == "-o"              ? &parsed.output
                                             : args[i] == "--keys"        ? &parsed.public_keys
                                             : args[i] == "--min-version" ? &parsed.min_version
                                             : args[i] == "--days"        ? &parsed.days
                                                                          : nullptr;
        if (!option && args[i] != "--key") {
            parsed.positional.push_back(args[i]);
        } else if (i + 1 == args.size()) {
            problem = args[i] + " needs a value";
            return std::nullopt;
        } else if (option) {
            *option = args[++i];
        } else {
            parsed.private_keys.push_back(args[++i]);
        }
    }
    return parsed;
}

// The lifetime in days, 1 to 3650, in seconds.
std::optional<std::int64_t> lifetime(const std::optional<std::string>& days) {
    if (!days || days->empty() || days->size() > 4 || days->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int64_t count = std::stoll(*days);
    if (count < 1 || count > 3650) return std::nullopt;
    return count * SECONDS_PER_DAY;
}

// The list with its expiry, as the payload of latest.signed.json.
std::string signed_payload(std::string_view list, std::int64_t expires) {
    nlohmann::ordered_json document = nlohmann::ordered_json::parse(list);
    document["expires"] = utc_text(expires);
    return document.dump(2) + "\n";
}

// Writes `text` beside `output`, checks what landed on disk with `judge` and only
// then renames it over `output`, so the site never serves a half-written or
// refused file. The exit code.
template <class Judge>
int write_checked(const std::filesystem::path& output, const std::string& text, Judge judge, std::ostream& out,
                  std::ostream& err) {
    std::filesystem::path partial = output;
    partial += ".new";
    {
        std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.close();
        if (!stream) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return err << "publish-list: cannot write " << partial.string() << "\n", EXIT_USAGE;
        }
    }
    std::string error;
    auto written = read_file(partial, error);
    Verdict verdict = written ? judge(*written) : Verdict{};
    std::error_code failed;
    if (!verdict.accepted) {
        std::filesystem::remove(partial, failed);
        if (!written) return err << "publish-list: " << error << "\n", EXIT_USAGE;
        return print_refusal(err, partial.string(), verdict), EXIT_REFUSED;
    }
    std::filesystem::rename(partial, output, failed);
    if (failed) {
        std::filesystem::remove(partial, failed);
        return err << "publish-list: cannot replace " << output.string() << "\n", EXIT_USAGE;
    }
    print_accepted(out, "wrote " + output.string(), *verdict.accepted);
    return EXIT_OK;
}

std::vector<ListKey> pinned_keys(std::span<const SigningKey> keys) {
    std::vector<ListKey> pinned;
    for (const SigningKey& key : keys) pinned.push_back(key.pinned);
    return pinned;
}

int usage(std::ostream& err, std::string_view problem) {
    if (!problem.empty()) err << "publish-list: " << problem << "\n";
    err << USAGE;
    return EXIT_USAGE;
}

int write_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    if (parsed->positional.size() != 2) return usage(err, "write takes an installer file and a version");
    const std::optional<std::int64_t> seconds = lifetime(parsed->days);
    if (!parsed->private_keys.empty() && !seconds) return usage(err, "--key needs --days, a lifetime of 1 to 3650");
    if (parsed->private_keys.empty() && parsed->days) return usage(err, "--days is for a signed list (--key)");
    const std::filesystem::path output = parsed->output.value_or("latest.json");
    const std::string& installer_path = parsed->positional[0];

    auto installer = read_installer(installer_path, error);
    if (!installer) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    auto keys = read_private_keys(parsed->private_keys, error);
    if (!keys) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    std::string body = list_document(*installer, parsed->positional[1]);
    if (body.empty()) return err << "publish-list: the version is not valid UTF-8 text\n", EXIT_REFUSED;

    // Checked before anything is written, so a refused list never replaces a good one.
    Verdict verdict = judge_list(body, &*installer);
    if (!verdict.accepted) return print_refusal(err, "a list for " + installer_path, verdict), EXIT_REFUSED;
    auto judge_unsigned = [&](std::string_view text) { return judge_list(text, &*installer); };
    if (int code = write_checked(output, body, judge_unsigned, out, err); code != EXIT_OK || keys->empty()) return code;

    const std::int64_t now = utc_now();
    const std::string envelope = signed_envelope(signed_payload(body, now + *seconds), *keys);
    const std::vector<ListKey> pinned = pinned_keys(*keys);
    auto judge_signed = [&](std::string_view text) { return judge_signed_list(text, pinned, "", now, &*installer); };
    return write_checked(output.parent_path() / "latest.signed.json", envelope, judge_signed, out, err);
}

int resign_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    const std::optional<std::int64_t> seconds = lifetime(parsed->days);
    if (parsed->positional.size() != 1 || parsed->private_keys.empty() || !seconds)
        return usage(err, "resign takes a signed list, one or more --key and --days (1 to 3650)");
    const std::string& path = parsed->positional[0];
    auto keys = read_private_keys(parsed->private_keys, error);
    if (!keys) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    auto envelope = read_file(path, error);
    if (!envelope) return err << "publish-list: " << error << "\n", EXIT_USAGE;

    // Only a list these keys signed is signed anew: what the site holds now may not be what was published.
    const std::vector<ListKey> pinned = pinned_keys(*keys);
    Result<std::string> payload = open_signed_list(*envelope, pinned);
    if (!payload || !read_list_values(*payload)) {
        err << "publish-list: " << path << " is not a list signed with one of these keys; it is left as it is\n";
        if (!payload) err << "The client would say: " << payload.error().text() << "\n";
        return EXIT_REFUSED;
    }
    const std::int64_t now = utc_now();
    const std::string renewed = signed_envelope(signed_payload(*payload, now + *seconds), *keys);
    auto judge_signed = [&](std::string_view text) { return judge_signed_list(text, pinned, "", now, nullptr); };
    return write_checked(path, renewed, judge_signed, out, err);
}

int check_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    const auto& positional = parsed->positional;
    if (positional.empty() || positional.size() > 2 || !parsed->private_keys.empty() || parsed->output || parsed->days)
        return usage(err, "check takes a list and, optionally, its installer");
    if (parsed->min_version && !parsed->public_keys) return usage(err, "--min-version is for a signed list (--keys)");
    std::optional<std::vector<ListKey>> keys;
    if (parsed->public_keys) {
        keys = read_public_keys(*parsed->public_keys, error);
        if (!keys) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    }
    auto body = read_file(positional[0], error);
    if (!body) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    std::optional<InstallerFacts> installer;
    if (positional.size() == 2) {
        installer = read_installer(positional[1], error);
        if (!installer) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    }
    const InstallerFacts* facts = installer ? &*installer : nullptr;
    Verdict verdict = keys ? judge_signed_list(*body, *keys, parsed->min_version.value_or(""), utc_now(), facts)
                           : judge_list(*body, facts);
    if (!verdict.accepted) return print_refusal(err, positional[0], verdict), EXIT_REFUSED;
    print_accepted(out, positional[0], *verdict.accepted);
    return EXIT_OK;
}

}  // namespace

std::optional<InstallerFacts> read_installer(const std::filesystem::path& path, std::string& error) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream || std::filesystem::is_directory(path)) {
        error = "cannot read " + path.string() + (errno ? std::string(": ") + std::strerror(errno) : "");
        return std::nullopt;
    }
    InstallerFacts facts;
    facts.name = path.filename().string();
    DigestState digest;
    auto block = std::make_unique_for_overwrite<char[]>(READ_BLOCK);
    while (stream) {
        stream.read(block.get(), READ_BLOCK);
        const auto count = static_cast<std::size_t>(stream.gcount());
        digest.update(std::as_bytes(std::span(block.get(), count)));
        facts.size += count;
    }
    if (stream.bad()) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
    facts.sha256 = digest_text(std::move(digest));
    return facts;
}

std::string list_document(const InstallerFacts& installer, std::string_view version) {
    nlohmann::ordered_json document;
    document["version"] = std::string(version);
    document["file"] = installer.name;
    document["size"] = installer.size;
    document["sha256"] = installer.sha256;
    try {
        return document.dump(2) + "\n";
    } catch (const nlohmann::json::type_error&) {  // invalid UTF-8 in the version
        return {};
    }
}

Verdict judge_list(std::string_view body, const InstallerFacts* installer) {
    Verdict verdict;
    if (body.size() > LIST_SIZE_LIMIT) {
        verdict.client_message = LIST_TOO_LARGE;
        verdict.reasons.push_back("it has " + std::to_string(body.size()) + " bytes; the client reads at most " +
                                  std::to_string(LIST_SIZE_LIMIT));
        return verdict;
    }
    auto parsed = parse_installer_list(body);
    if (!parsed) {
        verdict.client_message = parsed.error().text();
        verdict.reasons = list_problems(body);
        return verdict;
    }
    return compared_with_installer(*parsed, installer);
}

Verdict compared_with_installer(const Release& release, const InstallerFacts* installer) {
    Verdict verdict;
    if (installer) {
        if (release.file != installer->name) {
            verdict.reasons.push_back("it names " + in_quotes(release.file) + ", but the installer is " +
                                      in_quotes(installer->name) + "; the client downloads the file the list names");
        }
        bool damaged = false;
        if (release.size != installer->size) {
            verdict.reasons.push_back("it gives " + std::to_string(release.size) + " bytes, but the installer has " +
                                      std::to_string(installer->size));
            damaged = true;
        }
        if (release.sha256 != installer->sha256) {
            verdict.reasons.push_back("it gives sha256 " + release.sha256 + ", but the installer's is " +
                                      installer->sha256);
            damaged = true;
        }
        if (damaged) verdict.client_message = DOWNLOAD_DAMAGED;
        if (!verdict.reasons.empty()) return verdict;
    }
    verdict.accepted = release;
    return verdict;
}

std::vector<std::string> list_problems(std::string_view body) {
    std::vector<std::string> problems;
    if (body.starts_with("\xEF\xBB\xBF")) {
        problems.push_back("it starts with a byte-order mark; save it as UTF-8 without one");
        return problems;
    }
    if (body.find('\0') != std::string_view::npos) {
        problems.push_back("it holds a NUL byte, which is JSON nowhere");
        return problems;
    }
    auto document = nlohmann::json::parse(body, nullptr, false);
    if (document.is_discarded()) {
        problems.push_back("it is not one strict JSON value (no comments, trailing commas or text after it)");
        return problems;
    }
    if (!document.is_object()) {
        problems.push_back("it is " + type_name(document) + ", not an object");
        return problems;
    }
    auto file = document.find("file");
    if (file == document.end()) {
        problems.push_back("\"file\" is missing");
    } else if (!file->is_string()) {
        problems.push_back("\"file\" is " + type_name(*file) + ", not a string");
    } else {
        add_name_problems(file->get_ref<const std::string&>(), problems);
    }
    auto size = document.find("size");
    if (size == document.end()) {
        problems.push_back("\"size\" is missing");
    } else if (!size->is_number_unsigned()) {
        problems.push_back("\"size\" is " + type_name(*size) + ", not a whole number of bytes");
    } else if (size->get<std::uint64_t>() == 0) {
        problems.push_back("\"size\" is 0");
    }
    auto sha256 = document.find("sha256");
    if (sha256 == document.end()) {
        problems.push_back("\"sha256\" is missing");
    } else if (!sha256->is_string()) {
        problems.push_back("\"sha256\" is " + type_name(*sha256) + ", not a string");
    } else {
        const auto& digest = sha256->get_ref<const std::string&>();
        bool hex = digest.size() == 64;
        for (char c : digest) hex = hex && is_hex_digit(c);
        if (!hex) {
            problems.push_back("\"sha256\" is not 64 hexadecimal digits (" + std::to_string(digest.size()) +
                               " characters)");
        }
    }
    return problems;
}

Verdict judge_signed_list(std::string_view body, std::span<const ListKey> keys, std::string_view min_version,
                          std::int64_t now, const InstallerFacts* installer) {
    Verdict verdict;
    if (body.size() > LIST_SIZE_LIMIT) return judge_list(body, installer);  // the same refusal
    Result<std::string> payload = open_signed_list(body, keys);
    if (!payload) {
        verdict.client_message = payload.error().text();
        verdict.reasons = envelope_problems(body, keys);
        return verdict;
    }
    Result<Release> release = check_signed_payload(*payload, min_version, now);
    if (!release) {
        verdict.client_message = release.error().text();
        verdict.reasons = list_problems(*payload);
        auto outline = read_json_outline(*payload);
        const std::string* expires = outline ? string_member(*outline, "expires") : nullptr;
        const std::string version = outline ? list_values(*outline).version : "";
        if (verdict.client_message.starts_with("The installer list on the website has expired")) {
            verdict.reasons.push_back("it expired at " + *expires + "; sign it anew (publish-list resign)");
        } else if (verdict.client_message.starts_with("The website offers an older")) {
            verdict.reasons.push_back("its version " + version + " is older than " + std::string(min_version));
        } else if (outline && !(expires && utc_time_of(*expires))) {
            verdict.reasons.push_back("\"expires\" is missing or not a UTC time written YYYY-MM-DDTHH:MM:SSZ");
        } else if (outline && !min_version.empty()) {
            verdict.reasons.push_back("its version " + in_quotes(version) +
                                      " is not 1 to 4 dot-separated numbers of 1 to 9 digits");
        }
        return verdict;
    }
    return compared_with_installer(*release, installer);
}

std::vector<std::string> envelope_problems(std::string_view body, std::span<const ListKey> keys) {
    auto document = nlohmann::json::parse(body, nullptr, false);
    auto type = document.is_object() ? document.find("payloadType") : document.end();
    if (type != document.end() && type->is_string() && *type != LIST_PAYLOAD_TYPE) {
        return {"its payloadType is " + in_quotes(type->get<std::string>()) + ", not " + in_quotes(LIST_PAYLOAD_TYPE)};
    }
    if (!document.is_object() || type == document.end() || !document.contains("signatures")) {
        return {
            "it is no signed list: one JSON object with \"payloadType\", \"payload\" (standard base64 with "
            "padding) and \"signatures\" (objects with \"sig\", the same base64, and optionally \"keyid\")"};
    }
    std::string known;
    for (const ListKey& key : keys) known += (known.empty() ? "" : ", ") + keyid_text(key);
    return {"no signature is a valid 64-byte r||s signature by one of the given keys (keyid " + known + ")"};
}

int run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage(err, "");
    if (args[0] == "write") return write_command(args.subspan(1), out, err);
    if (args[0] == "resign") return resign_command(args.subspan(1), out, err);
    if (args[0] == "check") return check_command(args.subspan(1), out, err);
    if (args[0] == "-h" || args[0] == "--help") return usage(out, ""), EXIT_OK;
    return usage(err, "unknown command " + in_quotes(args[0]));
}

}  // namespace quarnet::publisher
