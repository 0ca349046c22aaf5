#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

TEST_F(Publisher, RefusesAVersionOrAFileNameThatIsNotUtf8) {
    Outcome outcome = publish({"write", put("setup.exe", "x"), "1.0\xFF", "-o", path("latest.json")});
    EXPECT_EQ(outcome.code, EXIT_REFUSED);
    EXPECT_NE(outcome.err.find("the version is not valid UTF-8"), std::string::npos);
    outcome = publish({"write", put("setup\xFF.exe", "x"), "1.0", "-o", path("latest.json")});
    EXPECT_EQ(outcome.code, EXIT_REFUSED);
    EXPECT_NE(outcome.err.find("the installer's file name is not valid UTF-8"), std::string::npos) << outcome.err;
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
    for (const char* minimum : {"v4.2", "4.2.0.0.1", "4.2 ", "4,2", "1234567890", ""}) {
        Outcome refused = check({"--min-version", minimum});
        EXPECT_EQ(refused.code, EXIT_USAGE) << minimum;
        EXPECT_NE(refused.err.find("--min-version \"" + std::string(minimum) + "\" is not"), std::string::npos);
    }

    // resign signs the publisher's unsigned copy, never what the site holds, and rolls no one back.
    const std::string old_list = path("old/latest.json"), second = keys + "/second-key.pem";
    const std::string site = path("site.signed.json");
    fs::create_directories(path("old"));
    ASSERT_EQ(publish({"write", put("Pelorin-0.9.exe", "old"), "0.9", "-o", old_list}).code, EXIT_OK);
    ASSERT_EQ(publish({"resign", old_list, "--key", second, "--days", "2", "-o", site}).code, EXIT_OK);
    EXPECT_EQ(publish({"resign", list, "--key", second, "--days", "2", "-o", site}).code, EXIT_OK);
    fs::rename(site, signed_list);
    EXPECT_EQ(check({"--min-version", "9.9", installer}).code, EXIT_OK);
    const std::string current = read(signed_list);
    for (const std::string& input : {old_list, put("beta.json", R"({"version":"beta","file":"a.exe","size":1,)"
                                                                R"("sha256":")" +
                                                                    std::string(64, 'a') + "\"}")}) {
        Outcome rollback = publish(
            {"resign", input, "--key", keys + "/first-key.pem", "--key", second, "--days", "2", "-o", signed_list});
        EXPECT_EQ(rollback.code, EXIT_REFUSED);
        EXPECT_NE(rollback.err.find("holds version \"9.9\""), std::string::npos) << rollback.err;
    }
    Outcome old_form = publish({"resign", signed_list, "--key", second, "--days", "2"});
    EXPECT_EQ(old_form.code, EXIT_USAGE);
    EXPECT_NE(old_form.err.find("is a signed list"), std::string::npos) << old_form.err;
    EXPECT_EQ(read(signed_list), current);
    EXPECT_EQ(publish({"resign", list, "--key", second, "--days", "2", "-o", signed_list}).code, EXIT_OK);  // weekly
    EXPECT_TRUE(leftovers().empty());
}

// Each way a key cannot sign or is not given rightly: the exit code, the message, and nothing written.
TEST_F(Publisher, AKeyThatCannotSignWritesNothing) {
    const std::string keys = QUARNET_TEST_LIST_KEYS_DIR, first = keys + "/first-key.pem";
    const std::string first_public = path("first.pub"), encrypted = path("encrypted.pem");
    ASSERT_EQ(std::system(("openssl pkey -in " + first + " -pubout -out " + first_public + " && openssl pkey -in " +
                           first + " -aes256 -passout pass:right -out " + encrypted)
                              .c_str()),
              0);
    const std::string right = put("right.txt", "right\n"), wrong = put("wrong.txt", "wrong\n");
    const std::string sign_first = "openssl dgst -sha256 -sign " + first;
    std::string token, pin, module;
#ifdef QUARNET_TEST_TOKEN
    token = "pkcs11:token=quarnet-test;object=list-key;type=private";
    pin = std::string(QUARNET_TEST_TOKEN) + "/pin", module = QUARNET_SOFTHSM_MODULE;
#endif
    struct Case {
        std::vector<std::string> keys;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--key", encrypted, "--pass-file", right, "--signer", sign_first, "--signer-key", first_public}, EXIT_OK, ""},
        {{"--key", encrypted}, EXIT_USAGE, "is encrypted: give its pass phrase with --pass-file"},
        {{"--key", encrypted, "--pass-file", wrong}, EXIT_USAGE, "--pass-file: its pass phrase does not open"},
        {{"--key", first, "--signer", "false", "--signer-key", first_public}, EXIT_REFUSED, "exited with status 1"},
        {{"--signer", "openssl dgst -sha256 -sign " + keys + "/second-key.pem", "--signer-key", first_public},
         EXIT_REFUSED,
         "does not verify with its public key"},
        {{"--signer", "head -c 64 /dev/zero", "--signer-key", first_public},
         EXIT_REFUSED,
         "(64 bytes) does not verify"},
        {{"--signer", sign_first}, EXIT_USAGE, "each --signer needs its --signer-key"},
        {{"--key", first, "--days", "0"}, EXIT_USAGE, "--days \"0\" is not a number of days from 1 to 3650"},
        {{"--key", first, "--pin-file", right}, EXIT_USAGE, "--pin-file are for a key in a token"},
        {{"--key", token + ";pin-value=1", "--pkcs11-module", module, "--pin-file", pin},
         EXIT_USAGE,
         "not as pin-value"},
        {{"--key", token, "--pkcs11-module", module}, EXIT_USAGE, "needs --pkcs11-module"},
        {{"--key", token, "--pkcs11-module", module, "--pin-file", wrong}, EXIT_USAGE, "PIN incorrect"},
        {{"--key", token, "--pkcs11-module", module, "--pin-file", pin, "--key", first}, EXIT_OK, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.keys));
        if (token.empty() && !c.keys.empty() && c.keys[1].starts_with("pkcs11:")) continue;  // no token here
        std::vector<std::string> call = {"write", put("setup.exe", "x"), "1", "-o", path("site/latest.json")};
        call.insert(call.end(), c.keys.begin(), c.keys.end());
        if (std::find(call.begin(), call.end(), "--days") == call.end()) call.insert(call.end(), {"--days", "1"});
        fs::remove_all(path("site"));
        fs::create_directories(path("site"));
        Outcome outcome = publish(call);
        EXPECT_EQ(outcome.code, c.code) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(fs::exists(path("site/latest.signed.json")), c.code == EXIT_OK);
        EXPECT_EQ(fs::exists(path("site/latest.json")), c.code == EXIT_OK);
    }
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
