#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "doubles/fake_error_texts.h"
#include "doubles/fake_win_http.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

class HttpExchangeTest : public ::testing::Test {
protected:
    std::string opened(std::string_view address, std::string_view headers = {}) {
        auto exchange = open_get(session, address, headers);
        return exchange ? "" : exchange.error().text();
    }

    FakeWinHttp http;
    FakeErrorTexts texts;
    WebSession session{http, texts, u"Quarnet-Setup/0.1.0"};
};

TEST_F(HttpExchangeTest, EachFailingStageHasItsMessage) {
    texts.allocated[{0x80072EFE, MessageTable::System}] = u"The connection was reset.\r\n";
    const struct {
        HttpStage stage;
        std::uint32_t last_error;
        std::string message;
    } cases[] = {
        {HttpStage::Connect, 12030, "Could not reach h."},
        {HttpStage::Open, 12030, "Could not start the download."},
        {HttpStage::Send, 12029, "No connection to h."},
        {HttpStage::Send, 12030, "No connection to h (The connection was reset.)."},
        {HttpStage::Receive, 12002, "h did not answer."},
        {HttpStage::Receive, 12030, "h did not answer (The connection was reset.)."},
        {HttpStage::Read, 12002, "The download stopped."},
        {HttpStage::Read, 12030, "The download stopped (The connection was reset.)."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stage_failure({c.stage, c.last_error}, "h", texts).text(), c.message);
        if (c.stage == HttpStage::Read) continue;
        http.responses.push_back(ScriptedResponse::failing_at(c.stage, c.last_error));
        EXPECT_EQ(opened("https://h:8443/x"), c.message);  // the exchange names its own host
        EXPECT_EQ(http.open_handles(), 1);                 // the session alone
    }
}

TEST_F(HttpExchangeTest, RefusedAddressesAndNulsMakeNoRequest) {
    using namespace std::string_literals;
    EXPECT_EQ(opened("http://example.com/x"), "The download address must use https.");
    EXPECT_EQ(opened("ftp://h/"), "Not a web address: ftp://h/");
    EXPECT_EQ(opened("https://h\0evil/x"s), "Could not reach hevil.");  // named, but without the NUL
    EXPECT_EQ(opened("https://h/x\0y"s), "Could not start the download.");
    EXPECT_TRUE(http.requests.empty());
}

TEST_F(HttpExchangeTest, RequestShapeAndChunkedBody) {
    http.responses.push_back(ScriptedResponse::ok(206, "abcdef", 4));
    {
        auto exchange = open_get(session, "https://h:8443/dl/Setup.exe?v=1", "Range: bytes=1000-\r\n");
        ASSERT_TRUE(exchange);
        EXPECT_EQ(exchange->status(), 206u);
        std::string body;
        for (;;) {
            auto chunk = read_chunk(*exchange);
            ASSERT_TRUE(chunk);
            if (chunk->empty()) break;
            body.append(reinterpret_cast<const char*>(chunk->data()), chunk->size());
        }
        EXPECT_EQ(body, "abcdef");
    }
    ASSERT_EQ(http.requests.size(), 1u);
    const RecordedRequest& request = http.requests[0];
    EXPECT_EQ(request.host, "h");
    EXPECT_EQ(request.port, 8443);
    EXPECT_EQ(request.path, "/dl/Setup.exe?v=1");
    EXPECT_TRUE(request.secure);
    EXPECT_EQ(request.headers, "Range: bytes=1000-\r\n");
    // One buffer of 262,144 bytes for every read of the exchange.
    ASSERT_EQ(request.read_buffers.size(), 3u);
    for (auto buffer : request.read_buffers) {
        EXPECT_EQ(buffer.size(), READ_CHUNK_SIZE);
        EXPECT_EQ(buffer.data(), request.read_buffers[0].data());
    }
    EXPECT_EQ(http.open_handles(), 1);
}

// The schemes and their target as "WinHttpQueryAuthSchemes function" documents them; a
// name and password of NULL is the logged-on user's own ("WinHttpSetCredentials function").
TEST_F(HttpExchangeTest, SignInOnlyToTheChosenProxyOnceForNegotiateOrNtlm) {
    const std::uint32_t BASIC = 1, NTLM = 2, DIGEST = 8, NEGOTIATE = 0x10;
    auto asks = [](std::optional<std::uint32_t> schemes, std::uint32_t target = HTTP_AUTH_TARGET_PROXY) {
        auto answer = ScriptedResponse::ok(407, "");
        if (schemes) answer.schemes = HttpAuthSchemes{*schemes, target};
        return answer;
    };
    auto refused = asks(NTLM);
    refused.credentials_fail = true;
    const auto ok = ScriptedResponse::ok(200, "");
    const struct {
        bool through_proxy;  // the user's setting names one
        std::vector<ScriptedResponse> answers;
        std::uint32_t status;
        std::vector<std::uint32_t> logons;
    } cases[] = {
        {true, {asks(NEGOTIATE), ok}, 200, {NEGOTIATE}},
        {true, {asks(NTLM), ok}, 200, {NTLM}},
        {true, {asks(BASIC | NTLM | NEGOTIATE), ok}, 200, {NEGOTIATE}},
        {true, {asks(BASIC | DIGEST)}, 407, {}},
        {false, {asks(NEGOTIATE)}, 407, {}},                           // went direct: the site itself asks
        {true, {asks(NEGOTIATE, 0)}, 407, {}},                         // never to the site
        {true, {asks(std::nullopt)}, 407, {}},                         // the schemes cannot be read
        {true, {asks(NEGOTIATE), asks(NEGOTIATE)}, 407, {NEGOTIATE}},  // once per request
        {true, {refused}, 407, {NTLM}},                                // the credentials cannot be set: nothing sent
    };
    for (const auto& c : cases) {
        WebSession fresh{http, texts, u"Quarnet-Setup/0.1.0"};
        http.user_setting = UserProxySetting{false, "", {c.through_proxy ? "proxy:8080" : "", ""}};
        http.requests.clear();
        http.responses.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(open_get(fresh, "https://h/x", {}).value().status(), c.status);
        EXPECT_EQ(http.requests.at(0).proxy, c.through_proxy ? "proxy:8080" : "");
        EXPECT_EQ(http.requests.at(0).logons, c.logons);
        EXPECT_TRUE(http.responses.empty());
    }
    // The send with the sign-in fails at its stage, with that stage's message.
    http.user_setting = UserProxySetting{false, "", {"proxy:8080", ""}};
    http.responses.assign({asks(NTLM), ScriptedResponse::failing_at(HttpStage::Receive, 12002)});
    EXPECT_EQ(opened("https://h/x"), "h did not answer.");
    EXPECT_EQ(http.open_handles(), 2);  // the direct session and the proxy's
}

// WinHTTP follows a redirect on the session's own proxy ("WINHTTP_STATUS_CALLBACK" tells
// where it led): an address with another route is asked again on that route, and a 407
// that comes straight from a site gets no sign-in.
TEST_F(HttpExchangeTest, RedirectToAnAddressWithAnotherRouteIsAskedThere) {
    http.user_setting = UserProxySetting{false, "", {"proxy:8080", "*.cdn.example"}};
    auto moved = ScriptedResponse::ok(200, "through the proxy");
    moved.redirected_to = "https://a.cdn.example/file";
    auto asks = ScriptedResponse::ok(407, "");
    asks.schemes = HttpAuthSchemes{HTTP_AUTH_SCHEME_NEGOTIATE, HTTP_AUTH_TARGET_PROXY};
    http.responses.assign({moved, asks});
    EXPECT_EQ(open_get(session, "https://h/x", {}).value().status(), 407u);
    ASSERT_EQ(http.requests.size(), 2u);
    EXPECT_EQ(http.requests[0].proxy, "proxy:8080");
    EXPECT_EQ(http.requests[1].proxy, "");
    EXPECT_EQ(http.requests[1].host, "a.cdn.example");
    EXPECT_EQ(http.requests[1].path, "/file");
    EXPECT_TRUE(http.requests[1].logons.empty());
    // A redirect on the same route, or to an address that is no download address, stands.
    for (const char* target : {"https://other.example/file", "http://a.cdn.example/file"}) {
        http.requests.clear();
        moved.redirected_to = target;
        http.responses.assign({moved});
        EXPECT_EQ(open_get(session, "https://h/x", {}).value().status(), 200u);
        EXPECT_EQ(http.requests.size(), 1u);
    }
    EXPECT_EQ(http.open_handles(), 2);  // the direct session and the proxy's
}

}  // namespace
}  // namespace quarnet
