#include "publisher.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <system_error>

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

std::optional<std::string> read_text_file(const std::filesystem::path& path, std::string& error) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        error = "cannot read " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
    return text;
}

void print_refusal(std::ostream& err, const std::string& what, const Verdict& verdict) {
    err << "publish-list: " << what << " is refused:\n";
    for (const auto& reason : verdict.reasons) err << "  - " << reason << "\n";
    if (!verdict.client_message.empty()) err << "The client would say: " << verdict.client_message << "\n";
}

void print_accepted(std::ostream& out, const std::string& what, const InstallerList& list) {
    out << what << ": version " << in_quotes(list.version) << ", file " << in_quotes(list.file) << ", " << list.size
        << " bytes, sha256 " << list.sha256 << "\n";
}

constexpr std::string_view USAGE =
    "usage: publish-list write <installer-file> <version> [-o latest.json]\n"
    "       publish-list check <latest.json> [<installer-file>]\n";

int usage(std::ostream& err, std::string_view problem) {
    if (!problem.empty()) err << "publish-list: " << problem << "\n";
    err << USAGE;
    return EXIT_USAGE;
}

int write_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    std::filesystem::path output = "latest.json";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 == args.size()) return usage(err, "-o needs a file name");
            output = args[++i];
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) return usage(err, "write takes an installer file and a version");

    std::string error;
    auto installer = read_installer(positional[0], error);
    if (!installer) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    std::string body = list_document(*installer, positional[1]);
    if (body.empty()) return err << "publish-list: the version is not valid UTF-8 text\n", EXIT_REFUSED;

    // Checked before anything is written, so a refused list never replaces a good one.
    Verdict verdict = judge_list(body, &*installer);
    if (!verdict.accepted) return print_refusal(err, "a list for " + positional[0], verdict), EXIT_REFUSED;

    // Written beside the target and renamed over it, so the site never serves half a list.
    std::filesystem::path partial = output;
    partial += ".new";
    {
        std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
        stream.write(body.data(), static_cast<std::streamsize>(body.size()));
        stream.close();
        if (!stream) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return err << "publish-list: cannot write " << partial.string() << "\n", EXIT_USAGE;
        }
    }
    // What lands on the site is what is on disk: check the file, not the text in memory.
    auto written = read_text_file(partial, error);
    verdict = written ? judge_list(*written, &*installer) : Verdict{};
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

int check_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args.size() > 2) return usage(err, "check takes a list and, optionally, its installer");
    std::string error;
    auto body = read_text_file(args[0], error);
    if (!body) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    std::optional<InstallerFacts> installer;
    if (args.size() == 2) {
        installer = read_installer(args[1], error);
        if (!installer) return err << "publish-list: " << error << "\n", EXIT_USAGE;
    }
    Verdict verdict = judge_list(*body, installer ? &*installer : nullptr);
    if (!verdict.accepted) return print_refusal(err, args[0], verdict), EXIT_REFUSED;
    print_accepted(out, args[0], *verdict.accepted);
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
    const InstallerList& list = *parsed;
    if (installer) {
        if (list.file != installer->name) {
            verdict.reasons.push_back("it names " + in_quotes(list.file) + ", but the installer is " +
                                      in_quotes(installer->name) + "; the client downloads the file the list names");
        }
        bool damaged = false;
        if (list.size != installer->size) {
            verdict.reasons.push_back("it gives " + std::to_string(list.size) + " bytes, but the installer has " +
                                      std::to_string(installer->size));
            damaged = true;
        }
        if (list.sha256 != installer->sha256) {
            verdict.reasons.push_back("it gives sha256 " + list.sha256 + ", but the installer's is " +
                                      installer->sha256);
            damaged = true;
        }
        if (damaged) verdict.client_message = DOWNLOAD_DAMAGED;
        if (!verdict.reasons.empty()) return verdict;
    }
    verdict.accepted = list;
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

int run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage(err, "");
    if (args[0] == "write") return write_command(args.subspan(1), out, err);
    if (args[0] == "check") return check_command(args.subspan(1), out, err);
    if (args[0] == "-h" || args[0] == "--help") return usage(out, ""), EXIT_OK;
    return usage(err, "unknown command " + in_quotes(args[0]));
}

}  // namespace quarnet::publisher
