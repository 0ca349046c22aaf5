#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/hex.h"
#include "platform/sha256.h"
#include "publisher.h"

namespace quarnet::publisher {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view ABC_SHA256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr std::string_view INCOMPLETE = "The installer list on the website is incomplete.";
constexpr std::string_view UNREADABLE = "The installer list on the website could not be read.";
constexpr std::string_view TOO_LARGE = "The installer list on the website is too large.";
constexpr std::string_view DAMAGED = "The download was damaged on the way, so it was deleted.";

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

class Publisher : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("publisher-test-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(std::string_view name) const { return (folder_ / name).string(); }

    std::string put(std::string_view name, std::string_view content) const {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }

    static std::string read(const std::string& file) {
        std::ifstream stream(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }

    static Outcome publish(std::vector<std::string> args) {
        std::ostringstream out, err;
        int code = run(args, out, err);
        return {code, out.str(), err.str()};
    }

    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().extension() == ".new") names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder_;
};

TEST_F(Publisher, WritesTheFourValuesTheClientReadsBack) {
    const std::string installer = put("Pelorin-Setup-2.4.EXE", "abc");
    const std::string list = path("latest.json");
    Outcome written = publish({"write", installer, "2.4 \xC2\xB7 beta", "-o", list});
    ASSERT_EQ(written.code, EXIT_OK) << written.err;

    const std::string body = read(list);
    auto document = nlohmann::json::parse(body);
    EXPECT_EQ(document.size(), 4u);
    EXPECT_EQ(document["version"], "2.4 \xC2\xB7 beta");
    EXPECT_EQ(document["file"], "Pelorin-Setup-2.4.EXE");  // the case it has on the site
    EXPECT_EQ(document["size"], 3u);
    EXPECT_EQ(document["sha256"], ABC_SHA256);

    auto parsed = parse_installer_list(body);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, (Release{"2.4 \xC2\xB7 beta", "Pelorin-Setup-2.4.EXE", std::string(ABC_SHA256), 3}));
    EXPECT_TRUE(leftovers().empty());

    Outcome checked = publish({"check", list, installer});
    EXPECT_EQ(checked.code, EXIT_OK) << checked.err;
    EXPECT_NE(checked.out.find(ABC_SHA256), std::string::npos);
}

TEST_F(Publisher, DigestOfAFileReadInSeveralBlocks) {
    // Two full read blocks and a short one: the digest runs on across them.
    std::string content(2 * (1 << 20) + 7, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 % 251);
    Sha256 whole;
    whole.update(std::as_bytes(std::span(content.data(), content.size())));
    const std::string expected = hex_text(whole.finish());

    std::string error;
    auto facts = read_installer(put("big.exe", content), error);
    ASSERT_TRUE(facts.has_value()) << error;
    EXPECT_EQ(facts->size, content.size());
    EXPECT_EQ(facts->sha256, expected);
    EXPECT_EQ(facts->name, "big.exe");
}

TEST_F(Publisher, RefusesWhatTheClientWouldRefuseAndSaysWhy) {
    struct Case {
        std::string file_name;
        std::string content;
        std::string version;
        std::string_view client_message;  // empty: accepted
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"setup.exe", "x", "1", "", ""},
        {".exe", "x", "1", "", ""},
        {"Setup.EXE", "x", "", "", ""},
        {"setup.msi", "x", "1", INCOMPLETE, "does not end in .exe"},
        {"setup.exe.zip", "x", "1", INCOMPLETE, "does not end in .exe"},
        {"a..b.exe", "x", "1", INCOMPLETE, "\"..\""},
        {"..exe", "x", "1", INCOMPLETE, "\"..\""},
        {"C:setup.exe", "x", "1", INCOMPLETE, "\":\""},
        {"dir\\setup.exe", "x", "1", INCOMPLETE, "\"\\\""},
        {"empty.exe", "", "1", INCOMPLETE, "\"size\" is 0"},
        {"long.exe", "x", std::string(70'000, 'v'), TOO_LARGE, "at most 65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file_name);
        const std::string list = path("latest.json");
        put("latest.json", "the list already on the site");
        Outcome outcome = publish({"write", put(c.file_name, c.content), c.version, "-o", list});
        if (c.client_message.empty()) {
            EXPECT_EQ(outcome.code, EXIT_OK) << outcome.err;
            EXPECT_TRUE(parse_installer_list(read(list)).has_value());
        } else {
            EXPECT_EQ(outcome.code, EXIT_REFUSED);
            EXPECT_NE(outcome.err.find("The client would say: " + std::string(c.client_message)), std::string::npos)
                << outcome.err;
            EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
            EXPECT_EQ(read(list), "the list already on the site");  // a refused list replaces nothing
        }
        EXPECT_TRUE(leftovers().empty());
        fs::remove(path(c.file_name));
    }
}

TEST_F(Publisher, RefusesAVersionThatIsNotUtf8) {
    Outcome outcome = publish({"write", put("setup.exe", "x"), "1.0\xFF", "-o", path("latest.json")});
    EXPECT_EQ(outcome.code, EXIT_REFUSED);
    EXPECT_NE(outcome.err.find("UTF-8"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("latest.json")));
}

TEST_F(Publisher, ChecksAnyListByTheClientsRules) {
    const std::string digest(ABC_SHA256);
    const std::string upper_digest = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    const auto list_with = [](std::string_view size, std::string_view sha256) {
        return R"({"version":"1","file":"setup.exe","size":)" + std::string(size) + R"(,"sha256":)" +
               std::string(sha256) + "}";
    };
    struct Case {
        std::string name;
        std::string body;
        std::string_view client_message;  // empty: accepted
        std::string reason;               // a hint expected among the reasons, if any
    };
    const std::vector<Case> cases = {
        {"sound", list_with("3", "\"" + digest + "\""), "", ""},
        {"upper-case digest", list_with("3", "\"" + upper_digest + "\""), "", ""},
        {"line feed after", list_with("3", "\"" + digest + "\"") + "\n", "", ""},
        {"largest size", list_with("18446744073709551615", "\"" + digest + "\""), "", ""},
        {"byte-order mark", "\xEF\xBB\xBF" + list_with("3", "\"" + digest + "\""), UNREADABLE, "byte-order mark"},
        {"trailing comma", R"({"file":"setup.exe",})", UNREADABLE, "strict JSON"},
        {"second value", list_with("3", "\"" + digest + "\"") + "{}", UNREADABLE, "strict JSON"},
        {"empty", "", UNREADABLE, "strict JSON"},
        {"array", "[]", INCOMPLETE, "not an object"},
        {"size 1.0", list_with("1.0", "\"" + digest + "\""), INCOMPLETE, "\"size\" is a number with a fraction"},
        {"size 1e3", list_with("1e3", "\"" + digest + "\""), INCOMPLETE, "\"size\""},
        {"size -1", list_with("-1", "\"" + digest + "\""), INCOMPLETE, "\"size\" is a negative number"},
        {"size as text", list_with("\"3\"", "\"" + digest + "\""), INCOMPLETE, "\"size\" is a string"},
        {"size too large", list_with("18446744073709551616", "\"" + digest + "\""), INCOMPLETE, "\"size\""},
        {"63 digits", list_with("3", "\"" + digest.substr(1) + "\""), INCOMPLETE, "(63 characters)"},
        {"not hex", list_with("3", "\"" + digest.substr(1) + "g\""), INCOMPLETE, "64 hexadecimal"},
        {"no digest", R"({"file":"setup.exe","size":3})", INCOMPLETE, "\"sha256\" is missing"},
        {"too large", list_with("3", "\"" + digest + "\"") + std::string(65'537, ' '), TOO_LARGE,
         "the client reads at most 65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome outcome = publish({"check", put("latest.json", c.body)});
        if (c.client_message.empty()) {
            EXPECT_EQ(outcome.code, EXIT_OK) << outcome.err;
            continue;
        }
        EXPECT_EQ(outcome.code, EXIT_REFUSED);
        EXPECT_NE(outcome.err.find("The client would say: " + std::string(c.client_message) + "\n"), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
    }
}

TEST_F(Publisher, ChecksAListAgainstItsInstaller) {
    const std::string installer = put("setup.exe", "abc");
    const std::string digest(ABC_SHA256);
    const std::string other_digest(64, 'a');
    struct Case {
        std::string name;
        std::string body;
        std::string_view client_message;
        std::string reason;
    };
    const auto list_with = [](std::string_view file, std::string_view size, std::string_view sha256) {
        return R"({"file":")" + std::string(file) + R"(","size":)" + std::string(size) + R"(,"sha256":")" +
               std::string(sha256) + "\"}";
    };
    const std::vector<Case> cases = {
        {"matching", list_with("setup.exe", "3", digest), "", ""},
        {"one byte more", list_with("setup.exe", "4", digest), DAMAGED, "gives 4 bytes, but the installer has 3"},
        {"other digest", list_with("setup.exe", "3", other_digest), DAMAGED, "the installer's is " + digest},
        {"other name", list_with("Setup.exe", "3", digest), "", "names \"Setup.exe\", but the installer is"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome outcome = publish({"check", put("latest.json", c.body), installer});
        if (c.reason.empty()) {
            EXPECT_EQ(outcome.code, EXIT_OK) << outcome.err;
            continue;
        }
        EXPECT_EQ(outcome.code, EXIT_REFUSED);
        EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("The client would say: " + std::string(c.client_message)) != std::string::npos,
                  !c.client_message.empty())
            << outcome.err;
    }
}

TEST_F(Publisher, UsageAndUnreadableFiles) {
    const std::vector<std::vector<std::string>> calls = {
        {},
        {"publish"},
        {"write", path("setup.exe")},
        {"write", path("missing.exe"), "1"},
        {"write", put("setup.exe", "x"), "1", "-o"},
        {"check"},
        {"check", path("missing.json")},
        {"check", put("latest.json", "{}"), path("missing.exe")},
        {"check", put("latest.json", "{}"), path("setup.exe"), "extra"},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(testing::PrintToString(call));
        Outcome outcome = publish(call);
        EXPECT_EQ(outcome.code, EXIT_USAGE);
        EXPECT_NE(outcome.err.find("publish-list"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists("latest.json.new"));
}

TEST_F(Publisher, SignsChecksAndSignsAnewByTheClientsRules) {
    const std::string keys = QUARNET_TEST_LIST_KEYS_DIR;
    const std::string installer = put("Pelorin-9.9.exe", "abc"), list = path("latest.json");
    const std::string signed_list = path("latest.signed.json");
    Outcome written = publish({"write", installer, "9.9", "-o", list, "--key", keys + "/first-key.pem", "--key",
                               keys + "/second-key.pem", "--days", "30"});
    ASSERT_EQ(written.code, EXIT_OK) << written.err;
    EXPECT_EQ(read(list).find("expires"), std::string::npos);
    auto check = [&](std::vector<std::string> more) {
        std::vector<std::string> call = {"check", signed_list, "--keys", keys + "/pinned.pem"};
        call.insert(call.end(), more.begin(), more.end());
        return publish(call);
    };
    EXPECT_EQ(check({"--min-version", "9.9", installer}).code, EXIT_OK);
    Outcome older = check({"--min-version", "9.10"});
    EXPECT_EQ(older.code, EXIT_REFUSED);
    EXPECT_NE(older.err.find("its version 9.9 is older than 9.10"), std::string::npos) << older.err;

    // Signed anew with the second key alone: still the client's list; then the first key alone no longer re-signs it.
    const std::string before = read(signed_list);
    EXPECT_EQ(publish({"resign", signed_list, "--key", keys + "/second-key.pem", "--days", "2"}).code, EXIT_OK);
    EXPECT_EQ(check({installer}).code, EXIT_OK);
    EXPECT_NE(read(signed_list), before);
    EXPECT_EQ(publish({"resign", signed_list, "--key", keys + "/first-key.pem", "--days", "2"}).code, EXIT_REFUSED);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Publisher, RefusesFoldersEmptyFilesAndOtherKindsOfKeys) {
    const std::string keys = QUARNET_TEST_LIST_KEYS_DIR;
    const std::string folder = folder_.string(), empty = put("empty.pem", ""), list = put("latest.json", "{}");
    const std::vector<std::pair<std::vector<std::string>, std::string>> calls = {
        {{"check", folder}, "is a folder"},
        {{"check", list, "--keys", folder}, "is a folder"},
        {{"check", list, "--keys", empty}, "is empty"},
        {{"check", list, "--keys", keys + "/first-key.pem"}, "public keys"},
        {{"write", put("a.exe", "x"), "1", "--key", keys + "/pinned.pem", "--days", "1"}, "no ECDSA P-256 private key"},
        {{"write", put("a.exe", "x"), "1", "--key", keys + "/first-key.pem"}, "--days"},
        {{"resign", folder, "--key", keys + "/first-key.pem", "--days", "1"}, "is a folder"},
        {{"resign", list, "--key", folder, "--days", "1"}, "is a folder"},
    };
    for (const auto& [call, reason] : calls) {
        Outcome outcome = publish(call);
        EXPECT_EQ(outcome.code, EXIT_USAGE) << testing::PrintToString(call);
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
    }
}

}  // namespace
}  // namespace quarnet::publisher
