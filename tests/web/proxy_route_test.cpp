#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_error_texts.h"
#include "doubles/fake_win_http.h"
#include "web/web_session.h"

namespace quarnet {
namespace {

// Microsoft's pages for the answers the rows play (Wine has no detection, and no
// setting besides the registry's and WinHttpSetDefaultProxyConfiguration's).
constexpr const char* USER = "WINHTTP_CURRENT_USER_IE_PROXY_CONFIG structure";
constexpr const char* BYPASS = "WinHttpOpen function (the bypass list: wildcards, <local>)";
constexpr const char* SCRIPT = "WinHttpGetProxyForUrl function (its errors fail it)";
constexpr const char* ONE = "AutoProxy Issues in WinHTTP (only one proxy is supported)";
constexpr const char* MACHINE = "WinHttpGetDefaultProxyConfiguration function";

TEST(ProxyRoute, FromTheSettingsWindowsUsersHave) {
    const ProxyList proxy{"proxy:8080", "<local>;*.corp.example;10.*"};
    const UserProxySetting fixed{false, "", proxy}, detect{true, "", {}}, detect_or_fixed{true, "", proxy};
    const UserProxySetting script{false, "http://wpad/proxy.pac", proxy};
    const ProxyList machine{"http=a:1;https=mp:8080", "*.example"};
    const std::optional<std::string> fails;
    const struct {
        const char* page;
        UserProxySetting user;
        ProxyList machine;
        std::optional<std::string> answer;  // of WinHttpGetProxyForUrl, when it is asked
        const char* url;
        const char* route;
    } rows[] = {
        {USER, fixed, {}, fails, "https://www.pelorin.example/x", "proxy:8080"},
        {BYPASS, fixed, {}, fails, "https://intranet/x", ""},
        {BYPASS, fixed, {}, fails, "https://dl.CORP.example/x", ""},
        {BYPASS, fixed, {}, fails, "https://10.1.2.3/x", ""},
        {USER, fixed, {}, fails, "http://127.0.0.1:8080/x", ""},  // the program's own machine: never
        {USER, fixed, {}, fails, "https://localhost/x", ""},
        {SCRIPT, detect, {}, "dp:3128", "https://a.test/x", "dp:3128"},
        {SCRIPT, detect, {}, "", "https://a.test/x", ""},  // the script says DIRECT
        {ONE, detect, {}, "a:1;b:2", "https://a.test/x", "a:1"},
        {SCRIPT, detect, {}, fails, "https://a.test/x", ""},  // ERROR_WINHTTP_AUTODETECTION_FAILED
        {SCRIPT, detect_or_fixed, {}, fails, "https://a.test/x", "proxy:8080"},
        {SCRIPT, script, {}, fails, "https://a.test/x", "proxy:8080"},  // ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT
        {SCRIPT, script, {}, "sp:80", "https://a.test/x", "sp:80"},
        {MACHINE, {}, machine, fails, "https://a.test/x", "mp:8080"},  // the user set nothing
        {MACHINE, {}, machine, fails, "https://h.example/x", ""},
        {MACHINE, fixed, machine, fails, "https://a.test/x", "proxy:8080"},  // the user's own comes first
        {MACHINE, {}, {}, fails, "https://a.test/x", ""},
    };
    for (const auto& row : rows) {
        FakeWinHttp http;
        FakeErrorTexts texts;
        http.user_setting = row.user;
        http.machine_setting = row.machine;
        if (row.answer) http.proxy_answers.push_back(row.answer);
        WebSession session{http, texts, u"test"};
        EXPECT_EQ(session.route_for(parse_web_address(row.url).value(), row.url), row.route) << row.page << row.url;
    }
}

// WinHTTP keeps the script it found or fetched for the session ("Autoproxy Cache"); one
// that failed is not asked for again, so a failing detection costs its time once a run.
TEST(ProxyRoute, AFailedDetectionOrScriptIsNotAskedAgain) {
    FakeWinHttp http;
    FakeErrorTexts texts;
    http.user_setting = UserProxySetting{true, "http://wpad/proxy.pac", {"proxy:8080", ""}};
    http.proxy_answers = {"sp:80", std::nullopt};
    WebSession session{http, texts, u"test"};
    auto route = [&](const char* url) { return session.route_for(parse_web_address(url).value(), url); };
    EXPECT_EQ(route("https://h/latest.json"), "sp:80");
    EXPECT_EQ(route("https://cdn.example/Setup.exe"), "proxy:8080");
    EXPECT_EQ(route("https://h/Setup.exe"), "proxy:8080");
    EXPECT_EQ(http.proxy_questions,
              (std::vector<std::string>{"https://h/latest.json detect http://wpad/proxy.pac",
                                        "https://cdn.example/Setup.exe detect http://wpad/proxy.pac"}));
}

TEST(ProxyRoute, ProxyListsPerScheme) {
    EXPECT_EQ(proxy_from_list("http=a:1;https=b:2", "https"), "b:2");
    EXPECT_EQ(proxy_from_list("http=a:1", "https"), "");  // named for another scheme only: direct
    EXPECT_EQ(proxy_from_list("all:1 https=b:2", "https"), "b:2");
    EXPECT_EQ(proxy_from_list("all:1;socks=s:1080", "https"), "all:1");
}

}  // namespace
}  // namespace quarnet
