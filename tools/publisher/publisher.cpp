#include "publisher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <system_error>

#include "list/json_outline.h"
#include "list/utc_time.h"
#include "list/version.h"
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
    "usage: publish-list write <installer-file> <version> [-o latest.json] [KEY... --days N]\n"
    "       publish-list resign <latest.json> KEY... --days N [-o latest.signed.json]\n"
    "       publish-list check <latest.json> [<installer-file>]\n"
    "       publish-list check <latest.signed.json> --keys public.pem [--min-version V] [<installer-file>]\n"
    "KEY is one of, as often as there are keys to sign with:\n"
    "  --key private.pem             an ECDSA P-256 key file; --pass-file FILE opens an encrypted one\n"
    "  --key 'pkcs11:token=T;object=L'  a key in a PKCS#11 token, with --pkcs11-module PATH --pin-file FILE\n"
    "  --signer COMMAND --signer-key public.pem  a command that reads the bytes to sign on its standard\n"
    "                                input and prints the signature (DER or r||s) on its standard output\n"
    "With keys, write also signs the list into latest.signed.json beside latest.json, to expire in\n"
    "N days (1 to 3650). resign signs the unsigned latest.json that write made, which the publisher\n"
    "keeps, anew; it refuses to replace a list these keys signed for a newer version.\n";

constexpr std::int64_t SECONDS_PER_DAY = 86'400;

// The options of a command, and the rest in order.
struct Arguments {
    std::vector<std::string> positional;
    std::optional<std::string> output, public_keys, min_version, days;
    KeySources keys;
};

std::optional<Arguments> parse_arguments(std::span<const std::string> args, std::string& problem) {
    Arguments parsed;
    const std::pair<std::string_view, std::optional<std::string>*> single[] = {
        {"-o", &parsed.output},
        {"--keys", &parsed.public_keys},
        {"--min-version", &parsed.min_version},
        {"--days", &parsed.days},
        {"--pass-file", &parsed.keys.pass_file},
        {"--pkcs11-module", &parsed.keys.pkcs11_module},
        {"--pin-file", &parsed.keys.pin_file}};
    const std::pair<std::string_view, std::vector<std::string>*> repeated[] = {
        {"--key", &parsed.keys.keys}, {"--signer", &parsed.keys.signers}, {"--signer-key", &parsed.keys.signer_keys}};
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto one = std::find_if(std::begin(single), std::end(single), [&](auto& o) { return o.first == args[i]; });
        auto many = std::find_if(std::begin(repeated), std::end(repeated), [&](auto& o) { return o.first == args[i]; });
        if (one == std::end(single) && many == std::end(repeated)) {
            if (args[i].starts_with("--")) return problem = "unknown option " + args[i], std::nullopt;
            parsed.positional.push_back(args[i]);
        } else if (i + 1 == args.size()) {
            return problem = args[i] + " needs a value", std::nullopt;
        } else if (one != std::end(single)) {
            if (*one->second) return problem = args[i] + " is given twice", std::nullopt;
            *one->second = args[++i];
        } else {
            many->second->push_back(args[++i]);
        }
    }
    return parsed;
}

// The lifetime in days, 1 to 3650, in seconds; nothing, with the problem set, for anything else.
std::optional<std::int64_t> lifetime(const Arguments& parsed, std::string& problem) {
    const std::optional<std::string>& days = parsed.days;
    if (parsed.keys.empty()) {
        if (days) problem = "--days is for a signed list (--key or --signer)";
        return std::nullopt;
    }
    if (!days || days->empty() || days->size() > 4 || days->find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(*days) < 1 || std::stoi(*days) > 3650) {
        problem = days ? "--days " + in_quotes(*days) + " is not a number of days from 1 to 3650"
                       : "a signed list needs --days, its lifetime of 1 to 3650 days";
        return std::nullopt;
    }
    return std::stoll(*days) * SECONDS_PER_DAY;
}

// The list with its expiry, as the payload of latest.signed.json.
std::string signed_payload(std::string_view list, std::int64_t expires) {
    nlohmann::ordered_json document = nlohmann::ordered_json::parse(list);
    document["expires"] = utc_text(expires);
    return document.dump(2) + "\n";
}

// A file written beside its target and checked as it landed on disk, waiting to replace it.
struct StagedFile {
    std::filesystem::path target, partial;
    Release release;
};

// Writes `text` beside `target` and checks what landed on disk with `judge`; on a
// refusal or a failure nothing is left and the exit code is set.
template <class Judge>
std::optional<StagedFile> stage_checked(const std::filesystem::path& target, const std::string& text, Judge judge,
                                        std::ostream& err, int& code) {
    std::filesystem::path partial = target;
    partial += ".new";
    {
        std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.close();
        if (!stream) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            code = EXIT_USAGE;
            return err << "publish-list: cannot write " << partial.string() << "\n", std::nullopt;
        }
    }
    std::string error;
    auto written = read_file(partial, error);
    Verdict verdict = written ? judge(*written) : Verdict{};
    if (verdict.accepted) return StagedFile{target, partial, *verdict.accepted};
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    if (!written) return code = EXIT_USAGE, err << "publish-list: " << error << "\n", std::nullopt;
    return code = EXIT_REFUSED, print_refusal(err, partial.string(), verdict), std::nullopt;
}

// Renames each checked file over its target, in order, so the site never serves a
// half-written or refused file; the exit code.
int replace_with(std::span<const StagedFile> files, std::ostream& out, std::ostream& err) {
    for (const StagedFile& file : files) {
        std::error_code failed;
        std::filesystem::rename(file.partial, file.target, failed);
        if (failed) {
            for (const StagedFile& left : files) std::filesystem::remove(left.partial, failed);
            return err << "publish-list: cannot replace " << file.target.string() << "\n", EXIT_USAGE;
        }
        print_accepted(out, "wrote " + file.target.string(), file.release);
    }
    return EXIT_OK;
}

std::vector<ListKey> pinned_keys(std::span<const ListSigner> signers) {
    std::vector<ListKey> pinned;
    for (const ListSigner& signer : signers) pinned.push_back(signer.pinned);
    return pinned;
}

int usage(std::ostream& err, std::string_view problem) {
    if (!problem.empty()) err << "publish-list: " << problem << "\n";
    err << USAGE;
    return EXIT_USAGE;
}

int failed(std::ostream& err, const std::string& error, int code) {
    err << "publish-list: " << error << "\n";
    return code;
}

// Whether `later` names a version after `earlier`, or (when either is not in the
// exe's version form) another version that cannot be ordered.
bool may_be_newer(const std::string& later, const std::string& earlier) {
    const std::optional<Version> a = read_version(later), b = read_version(earlier);
    return a && b ? *a > *b : later != earlier;
}

// The version of the list `keys` signed in the file at `path`, when there is one.
std::optional<std::string> signed_version(const std::filesystem::path& path, std::span<const ListKey> keys) {
    std::string ignored;
    std::optional<std::string> envelope = read_file(path, ignored);
    Result<std::string> payload = envelope ? open_signed_list(*envelope, keys) : failure(std::string());
    std::optional<JsonOutline> outline = payload ? read_json_outline(*payload) : std::nullopt;
    if (!outline) return std::nullopt;
    return list_values(*outline).version;
}

int write_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    if (parsed->positional.size() != 2) return usage(err, "write takes an installer file and a version");
    const std::optional<std::int64_t> seconds = lifetime(*parsed, error);
    if (!error.empty()) return failed(err, error, EXIT_USAGE);
    const std::filesystem::path output = parsed->output.value_or("latest.json");
    const std::string& installer_path = parsed->positional[0];

    auto installer = read_installer(installer_path, error);
    if (!installer) return failed(err, error, EXIT_USAGE);
    auto signers = open_signers(parsed->keys, error);
    if (!signers) return failed(err, error, EXIT_USAGE);
    std::optional<std::string> body = list_document(*installer, parsed->positional[1], error);
    if (!body) return failed(err, error, EXIT_REFUSED);

    // Checked and signed before anything is written, so a refused list or a key that
    // cannot sign never replaces a good one.
    Verdict verdict = judge_list(*body, &*installer);
    if (!verdict.accepted) return print_refusal(err, "a list for " + installer_path, verdict), EXIT_REFUSED;
    const std::int64_t now = utc_now();
    std::optional<std::string> envelope;
    if (!signers->empty() && !(envelope = signed_envelope(signed_payload(*body, now + *seconds), *signers, error)))
        return failed(err, error, EXIT_REFUSED);

    int code = EXIT_OK;
    std::error_code failed_removal;
    std::vector<StagedFile> staged;
    auto judge_unsigned = [&](std::string_view text) { return judge_list(text, &*installer); };
    std::optional<StagedFile> list = stage_checked(output, *body, judge_unsigned, err, code);
    if (!list) return code;
    staged.push_back(std::move(*list));
    if (envelope) {
        const std::vector<ListKey> pinned = pinned_keys(*signers);
        auto judge_signed = [&](std::string_view text) {
            return judge_signed_list(text, pinned, "", now, &*installer);
        };
        std::optional<StagedFile> signed_list =
            stage_checked(output.parent_path() / "latest.signed.json", *envelope, judge_signed, err, code);
        if (!signed_list) return std::filesystem::remove(staged.front().partial, failed_removal), code;
        staged.push_back(std::move(*signed_list));
    }
    return replace_with(staged, out, err);
}

int resign_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    if (parsed->positional.size() != 1 || parsed->keys.empty())
        return usage(err, "resign takes the unsigned latest.json, one or more keys and --days (1 to 3650)");
    const std::optional<std::int64_t> seconds = lifetime(*parsed, error);
    if (!seconds) return failed(err, error, EXIT_USAGE);
    const std::filesystem::path input = parsed->positional[0];
    const std::filesystem::path output = parsed->output.value_or((input.parent_path() / "latest.signed.json").string());
    auto body = read_file(input, error);
    if (!body) return failed(err, error, EXIT_USAGE);
    std::optional<JsonOutline> outline = read_json_outline(*body);
    if (outline && (find_member(*outline, "payloadType") || find_member(*outline, "signatures"))) {
        return usage(err, input.string() +
                              " is a signed list: resign takes the unsigned latest.json that write made and the "
                              "publisher keeps, never the site's signed copy");
    }
    std::error_code ignored;
    if (std::filesystem::equivalent(input, output, ignored))
        return usage(err, "-o " + output.string() + " is the unsigned list itself");
    auto signers = open_signers(parsed->keys, error);
    if (!signers) return failed(err, error, EXIT_USAGE);
    Verdict verdict = judge_list(*body, nullptr);
    if (!verdict.accepted) return print_refusal(err, input.string(), verdict), EXIT_REFUSED;

    // A job run with an old copy of the list must not roll users back.
    const std::vector<ListKey> pinned = pinned_keys(*signers);
    const std::string& version = verdict.accepted->version;
    if (std::optional<std::string> current = signed_version(output, pinned);
        current && may_be_newer(*current, version)) {
        return failed(err,
                      output.string() + " holds version " + in_quotes(*current) + ", signed with one of these keys; " +
                          input.string() + " has " + in_quotes(version) + " and does not replace it",
                      EXIT_REFUSED);
    }
    const std::int64_t now = utc_now();
    std::optional<std::string> envelope = signed_envelope(signed_payload(*body, now + *seconds), *signers, error);
    if (!envelope) return failed(err, error, EXIT_REFUSED);
    int code = EXIT_OK;
    auto judge_signed = [&](std::string_view text) { return judge_signed_list(text, pinned, "", now, nullptr); };
    std::optional<StagedFile> staged = stage_checked(output, *envelope, judge_signed, err, code);
    return staged ? replace_with(std::span(&*staged, 1), out, err) : code;
}

int check_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string error;
    std::optional<Arguments> parsed = parse_arguments(args, error);
    if (!parsed) return usage(err, error);
    const auto& positional = parsed->positional;
    if (positional.empty() || positional.size() > 2 || !parsed->keys.empty() || parsed->output || parsed->days ||
        parsed->keys.pass_file || parsed->keys.pkcs11_module || parsed->keys.pin_file)
        return usage(err, "check takes a list and, optionally, its installer");
    if (parsed->min_version && !parsed->public_keys) return usage(err, "--min-version is for a signed list (--keys)");
    if (parsed->min_version && !read_version(*parsed->min_version)) {
        return failed(err,
                      "--min-version " + in_quotes(*parsed->min_version) +
                          " is not 1 to 4 numbers of 1 to 9 digits with dots between (for example 4.2)",
                      EXIT_USAGE);
    }
    std::optional<std::vector<ListKey>> keys;
    if (parsed->public_keys) {
        keys = read_public_keys(*parsed->public_keys, error);
        if (!keys) return failed(err, "--keys: " + error, EXIT_USAGE);
    }
    auto body = read_file(positional[0], error);
    if (!body) return failed(err, error, EXIT_USAGE);
    std::optional<InstallerFacts> installer;
    if (positional.size() == 2) {
        installer = read_installer(positional[1], error);
        if (!installer) return failed(err, error, EXIT_USAGE);
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

std::optional<std::string> list_document(const InstallerFacts& installer, std::string_view version,
                                         std::string& error) {
    nlohmann::ordered_json document;
    document["version"] = std::string(version);
    document["file"] = installer.name;
    document["size"] = installer.size;
    document["sha256"] = installer.sha256;
    for (const auto& [field, what] : {std::pair{"version", "the version"}, {"file", "the installer's file name"}}) {
        try {
            document[field].dump();
        } catch (const nlohmann::json::type_error&) {  // invalid UTF-8
            error = std::string(what) + " is not valid UTF-8 text";
            return std::nullopt;
        }
    }
    return document.dump(2) + "\n";
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
