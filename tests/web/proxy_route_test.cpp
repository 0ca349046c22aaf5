#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_error_texts.h"
#include "doubles/fake_win_http.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

WebAddress address(std::string_view text) { return parse_web_address(text).value(); }

// Each row plays answers Wine cannot give (it has no detection, no user setting besides
// the registry value, no machine setting besides WinHttpSetDefaultProxyConfiguration),
// as the Microsoft pages named in the row document them.
TEST(ProxyRoute, FromTheSettingsWindowsUsersHave) {
    using Answers = std::vector<std::optional<std::string>>;
    const UserProxySetting fixed{false, "", {"proxy:8080", "<local>;*.corp.example;10.*"}};
    const UserProxySetting detect{true, "", {}};
    const UserProxySetting detect_and_fixed{true, "", {"proxy:8080", ""}};
    const UserProxySetting script{false, "http://wpad/proxy.pac", {"proxy:8080", ""}};
    const struct {
        const char* page;
        UserProxySetting user;
        ProxyList machine;
        Answers answers;  // of WinHttpGetProxyForUrl, in turn
        const char* url;
        std::string route;
        std::size_t questions;  // of WinHttpGetProxyForUrl
    } rows[] = {
        {"WINHTTP_CURRENT_USER_IE_PROXY_CONFIG structure",
         fixed,
         {},
         {},
         "https://www.pelorin.example/x",
         "proxy:8080",
         0},
        {"WinHttpOpen function (bypass list, <local>)", fixed, {}, {}, "https://intranet/x", "", 0},
        {"WinHttpOpen function (bypass list, wildcards)", fixed, {}, {}, "https://dl.CORP.example/x", "", 0},
        {"WinHttpOpen function (bypass list, wildcards)", fixed, {}, {}, "https://10.1.2.3/x", "", 0},
        {"WINHTTP_CURRENT_USER_IE_PROXY_CONFIG structure", fixed, {}, {}, "http://127.0.0.1:8080/x", "", 0},
        {"WINHTTP_CURRENT_USER_IE_PROXY_CONFIG structure", fixed, {}, {}, "http://localhost/x", "", 0},
        {"WinHttpGetProxyForUrl function", detect, {}, {"dp:3128"}, "https://h/x", "dp:3128", 1},
        {"WinHttpGetProxyForUrl function", detect, {}, {""}, "https://h/x", "", 1},  // the script says DIRECT
        {"AutoProxy Issues in WinHTTP (one proxy)", detect, {}, {"a:1;b:2"}, "https://h/x", "a:1", 1},
        {"WinHttpGetProxyForUrl function (ERROR_WINHTTP_AUTODETECTION_FAILED)",
         detect,
         {},
         {std::nullopt},
         "https://h/x",
         "",
         1},
        {"WinHttpGetProxyForUrl function (ERROR_WINHTTP_AUTODETECTION_FAILED)",
         detect_and_fixed,
         {},
         {std::nullopt},
         "https://h/x",
         "proxy:8080",
         1},
        {"WinHttpGetProxyForUrl function (ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT)",
         script,
         {},
         {std::nullopt},
         "https://h/x",
         "proxy:8080",
         1},
        {"WinHttpGetProxyForUrl function", script, {}, {"sp:80"}, "https://h/x", "sp:80", 1},
        {"WinHttpGetDefaultProxyConfiguration function",
         {},
         ProxyList{"mp:8080", "*.example"},
         {},
         "https://h/x",
         "mp:8080",
         0},
        {"WinHttpGetDefaultProxyConfiguration function",
         {},
         ProxyList{"mp:8080", "*.example"},
         {},
         "https://a.example/x",
         "",
         0},
        {"WinHttpGetDefaultProxyConfiguration function",
         UserProxySetting{},
         ProxyList{"http=a:1;https=b:2", ""},
         {},
         "https://h/x",
         "b:2",
         0},
        {"WinHttpGetIEProxyConfigForCurrentUser function", {}, {}, {}, "https://h/x", "", 0},
    };
    for (const auto& row : rows) {
        FakeWinHttp http;
        FakeErrorTexts texts;
        http.user_setting = row.user;
        http.machine_setting = row.machine;
        http.proxy_answers.assign(row.answers.begin(), row.answers.end());
        WebSession session{http, texts, u"test"};
        EXPECT_EQ(session.route_for(address(row.url), row.url), row.route) << row.page << ": " << row.url;
        EXPECT_EQ(http.proxy_questions.size(), row.questions) << row.page << ": " << row.url;
    }
}

// WinHTTP keeps the script it found or fetched for the session ("Autoproxy Cache");
// one that failed is not asked for again, so a failing detection costs its time once.
TEST(ProxyRoute, AFailedDetectionOrScriptIsNotAskedAgain) {
    FakeWinHttp http;
    FakeErrorTexts texts;
    http.user_setting = UserProxySetting{true, "http://wpad/proxy.pac", {"proxy:8080", ""}};
    http.proxy_answers = {"sp:80", std::nullopt};
    WebSession session{http, texts, u"test"};
    auto route = [&](const char* url) { return session.route_for(address(url), url); };
    EXPECT_EQ(route("https://h/latest.json"), "sp:80");
    EXPECT_EQ(route("https://cdn.example/Setup.exe"), "proxy:8080");  // its own answer fails
    EXPECT_EQ(route("https://h/Setup.exe"), "proxy:8080");            // and is not asked again
    EXPECT_EQ(http.proxy_questions,
              (std::vector<std::string>{"https://h/latest.json detect http://wpad/proxy.pac",
                                        "https://cdn.example/Setup.exe detect http://wpad/proxy.pac"}));
}

TEST(ProxyRoute, ProxyListsPerScheme) {
    const struct {
        const char* list;
        const char* scheme;
        const char* proxy;
    } rows[] = {
        {"p:1", "https", "p:1"},
        {"http=a:1;https=b:2", "https", "b:2"},
        {"http=a:1;https=b:2", "http", "a:1"},
        {"http=a:1", "https", ""},  // named for another scheme only: direct
        {"all:1 https=b:2", "https", "b:2"},
        {"http://p:1", "https", "http://p:1"},  // WinHttpOpen takes the proxy's scheme as it is
        {"socks=s:1080", "https", ""},
        {"", "https", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(proxy_from_list(row.list, row.scheme), row.proxy) << row.list;
}

}  // namespace
}  // namespace quarnet
