#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "doubles/fake_environment.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_shell.h"
#include "doubles/fake_win_http.h"
#include "list/installer_list.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

const std::string DIGEST = std::string(64, 'a');
const std::string UNREADABLE = "The installer list on the website could not be read.";
const std::string INCOMPLETE = "The installer list on the website is incomplete.";

std::string list_with(const std::string& file, const std::string& size, const std::string& sha256) {
    return R"({"version":"2.1","file":)" + file + R"(,"size":)" + size + R"(,"sha256":)" + sha256 + "}";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string nested_arrays(int levels_inside_object) {
    return R"({"file":"a.exe","size":1,"sha256":")" + DIGEST + R"(","deep":)" +
           std::string(static_cast<std::size_t>(levels_inside_object), '[') +
           std::string(static_cast<std::size_t>(levels_inside_object), ']') + "}";
}

// Each body with the message it ends in, or "" when it is accepted.
struct ParseCase {
    const char* name;
    std::string body;
    std::string message;
};

TEST(InstallerListParse, RulesOfTheListDocument) {
    const std::string good = list_with(quoted("Setup.exe"), "5", quoted(DIGEST));
    const ParseCase cases[] = {
        {"plain list", good, ""},
        {"upper-case extension", list_with(quoted("Setup.EXE"), "5", quoted(DIGEST)), ""},
        {"bare extension", list_with(quoted(".exe"), "5", quoted(DIGEST)), ""},
        {"dot dot exe", list_with(quoted("..exe"), "5", quoted(DIGEST)), INCOMPLETE},
        {"dot dot inside", list_with(quoted("a..b.exe"), "5", quoted(DIGEST)), INCOMPLETE},
        {"slash", list_with(quoted("dir/setup.exe"), "5", quoted(DIGEST)), INCOMPLETE},
        {"backslash", list_with(quoted("dir\\\\setup.exe"), "5", quoted(DIGEST)), INCOMPLETE},
        {"colon", list_with(quoted("C:setup.exe"), "5", quoted(DIGEST)), INCOMPLETE},
        {"not an exe", list_with(quoted("setup.msi"), "5", quoted(DIGEST)), INCOMPLETE},
        {"empty file", list_with(quoted(""), "5", quoted(DIGEST)), INCOMPLETE},
        {"file a number", list_with("7", "5", quoted(DIGEST)), INCOMPLETE},
        {"digest 63", list_with(quoted("a.exe"), "5", quoted(std::string(63, 'a'))), INCOMPLETE},
        {"digest 65", list_with(quoted("a.exe"), "5", quoted(std::string(65, 'a'))), INCOMPLETE},
        {"digest upper case", list_with(quoted("a.exe"), "5", quoted(std::string(64, 'F'))), ""},
        {"digest letter beyond f", list_with(quoted("a.exe"), "5", quoted(std::string(63, 'a') + "g")), INCOMPLETE},
        {"size 1.0", list_with(quoted("a.exe"), "1.0", quoted(DIGEST)), INCOMPLETE},
        {"size 1e3", list_with(quoted("a.exe"), "1e3", quoted(DIGEST)), INCOMPLETE},
        {"size -1", list_with(quoted("a.exe"), "-1", quoted(DIGEST)), INCOMPLETE},
        {"size -0", list_with(quoted("a.exe"), "-0", quoted(DIGEST)), INCOMPLETE},
        {"size a string", list_with(quoted("a.exe"), quoted("5"), quoted(DIGEST)), INCOMPLETE},
        {"size 0", list_with(quoted("a.exe"), "0", quoted(DIGEST)), INCOMPLETE},
        {"size largest", list_with(quoted("a.exe"), "18446744073709551615", quoted(DIGEST)), ""},
        {"size too large", list_with(quoted("a.exe"), "18446744073709551616", quoted(DIGEST)), INCOMPLETE},
        {"size beyond double", list_with(quoted("a.exe"), "1e400", quoted(DIGEST)), UNREADABLE},
        {"leading zero", list_with(quoted("a.exe"), "05", quoted(DIGEST)), UNREADABLE},
        {"keys spelled otherwise", R"({"File":"a.exe","Size":5,"SHA256":")" + DIGEST + "\"}", INCOMPLETE},
        {"top-level array", "[" + good + "]", INCOMPLETE},
        {"top-level string", "\"a.exe\"", INCOMPLETE},
        {"top-level number", "5", INCOMPLETE},
        {"127 levels", nested_arrays(126), ""},
        {"128 levels", nested_arrays(127), UNREADABLE},
        {"byte-order mark", "\xEF\xBB\xBF" + good, UNREADABLE},
        {"trailing line feed", good + "\n", ""},
        {"white space around", " \t\r\n" + good + " \r\n\t", ""},
        {"second value", good + good, UNREADABLE},
        {"trailing text", good + "x", UNREADABLE},
        {"trailing comma", R"({"file":"a.exe",})", UNREADABLE},
        {"comment", "/* list */" + good, UNREADABLE},
        {"single quotes", "{'file':'a.exe'}", UNREADABLE},
        {"empty body", "", UNREADABLE},
        {"invalid UTF-8 in a string", R"({"version":"\xFF","file":"a.exe","size":1,"sha256":")" + DIGEST + "\"}",
         UNREADABLE},
        {"raw control character", "{\"version\":\"a\x01\",\"file\":\"a.exe\",\"size\":1,\"sha256\":\"" + DIGEST + "\"}",
         UNREADABLE},
        {"lone surrogate escape", R"({"version":"\ud800","file":"a.exe","size":1,"sha256":")" + DIGEST + "\"}",
         UNREADABLE},
        {"surrogate pair escape", R"({"version":"\ud83d\ude00","file":"a.exe","size":1,"sha256":")" + DIGEST + "\"}",
         ""},
    };
    for (const auto& c : cases) {
        Result<Release> list = parse_installer_list(c.body);
        if (c.message.empty()) {
            EXPECT_TRUE(list.has_value()) << c.name << ": " << (list ? "" : list.error().text());
        } else {
            ASSERT_FALSE(list.has_value()) << c.name;
            EXPECT_EQ(list.error().text(), c.message) << c.name;
        }
    }
}

TEST(InstallerListParse, ValuesAsTheListGivesThem) {
    auto list =
        parse_installer_list(R"({"sha256":")" + std::string(64, 'A') +
                             R"(","file":"first.exe","size":42,"version":"3.0 beta","file":"Setup.EXE","x":[1]})");
    ASSERT_TRUE(list) << list.error().text();
    EXPECT_EQ(list->file, "Setup.EXE");  // the later of two keys, case kept
    EXPECT_EQ(list->sha256, std::string(64, 'a'));
    EXPECT_EQ(list->size, 42u);
    EXPECT_EQ(list->version, "3.0 beta");

    auto numeric_version = parse_installer_list(R"({"version":2,"file":"a.exe","size":1,"sha256":")" + DIGEST + "\"}");
    ASSERT_TRUE(numeric_version);
    EXPECT_EQ(numeric_version->version, "");
    auto no_version =
        parse_installer_list(R"({"file":"a.exe","size":18446744073709551615,"sha256":")" + DIGEST + "\"}");
    ASSERT_TRUE(no_version);
    EXPECT_EQ(no_version->version, "");
    EXPECT_EQ(no_version->size, 18446744073709551615u);
}

class FetchInstallerList : public ::testing::Test {
protected:
    FetchInstallerList() { environment.set("QUARNET_SETUP_URL", "http://127.0.0.1:8080/dl"); }

    Result<FetchedList> fetch() { return fetch_with(http); }

    Result<FetchedList> fetch_with(FakeWinHttp& web) {
        WebSession session(web, texts, u"Quarnet-Setup/0.1.0");
        ProgressWindow window(std::make_unique<FakeProgressDialog>(log));
        return fetch_installer_list(session, window, environment);
    }

    std::string error_of(const Result<FetchedList>& fetched) { return fetched ? "" : fetched.error().text(); }

    FakeWinHttp http;
    FakeErrorTexts texts;
    FakeEnvironment environment;
    ProgressLog log;
};

TEST_F(FetchInstallerList, GetsTheListFromTheBase) {
    const std::string body = list_with(quoted("Setup.exe"), "1234", quoted(DIGEST));
    http.responses.push_back(ScriptedResponse::ok(200, body, 10));
    auto fetched = fetch();
    ASSERT_TRUE(fetched) << error_of(fetched);
    EXPECT_EQ(fetched->base, "http://127.0.0.1:8080/dl/");
    EXPECT_EQ(fetched->release.file, "Setup.exe");
    EXPECT_EQ(fetched->release.size, 1234u);
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].host, "127.0.0.1");
    EXPECT_EQ(http.requests[0].port, 8080);
    EXPECT_EQ(http.requests[0].path, "/dl/latest.json");
    EXPECT_EQ(http.requests[0].headers, NO_CACHE_HEADERS);
    EXPECT_EQ(line(log, 1), "Finding the newest Pelorin…");
    EXPECT_EQ(line(log, 2), "");
    EXPECT_EQ(http.open_handles(), 0);
}

TEST_F(FetchInstallerList, StatusAndSizeRules) {
    const std::string body = list_with(quoted("Setup.exe"), "1", quoted(DIGEST));
    // A body of exactly the limit: white space pads the list to 65,536 bytes.
    const std::string at_limit = body + std::string(LIST_SIZE_LIMIT - body.size(), ' ');
    struct Case {
        const char* name;
        ScriptedResponse response;
        std::string message;
        std::size_t reads;
    };
    const Case cases[] = {
        {"65,536 bytes", ScriptedResponse::ok(200, at_limit, 4096), "", 17},
        {"65,537 bytes", ScriptedResponse::ok(200, at_limit + " ", 4096),
         "The installer list on the website is too large.", 17},
        {"65,537 bytes in a 206", ScriptedResponse::ok(206, at_limit + " ", 65'537),
         "The installer list on the website is too large.", 1},
        {"404 left unread", ScriptedResponse::ok(404, body), "The website did not give the installer list (HTTP 404).",
         0},
        {"206 read, then refused", ScriptedResponse::ok(206, body),
         "The website did not give the installer list (HTTP 206).", 2},
        {"no status",
         [] {
             auto r = ScriptedResponse::ok(200, "{}");
             r.status.reset();
             return r;
         }(),
         "The website did not give the installer list (HTTP 0).", 0},
        {"read fails",
         [&] {
             auto r = ScriptedResponse::ok(200, body, 8);
             r.fail_read_after = 2;
             return r;
         }(),
         "The download stopped.", 3},
        {"send fails", ScriptedResponse::failing_at(HttpStage::Send, 12029), "No connection to 127.0.0.1.", 0},
    };
    for (const auto& c : cases) {
        FakeWinHttp web;
        web.responses.push_back(c.response);
        auto fetched = fetch_with(web);
        EXPECT_EQ(error_of(fetched), c.message) << c.name;
        ASSERT_EQ(web.requests.size(), 1u) << c.name;
        EXPECT_EQ(web.requests[0].reads, c.reads) << c.name;
        EXPECT_EQ(web.open_handles(), 0) << c.name;
    }
}

TEST_F(FetchInstallerList, RefusedAddressMakesNoRequest) {
    environment.set("QUARNET_SETUP_URL", "http://example.com/");
    auto fetched = fetch();
    EXPECT_EQ(error_of(fetched), "The download address must use https.");
    EXPECT_TRUE(http.requests.empty());
    EXPECT_EQ(line(log, 1), "Finding the newest Pelorin…");
}

}  // namespace
}  // namespace quarnet
