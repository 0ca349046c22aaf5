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

TEST_F(HttpExchangeTest, PlainAddressNoHeadersAndUnreadableStatus) {
    auto response = ScriptedResponse::ok(200, "");
    response.status.reset();
    http.responses.push_back(response);
    auto exchange = open_get(session, "http://localhost:8080/latest.json", {});
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->status(), 0u);
    EXPECT_FALSE(http.requests[0].secure);
    EXPECT_EQ(http.requests[0].headers, "");
}

TEST_F(HttpExchangeTest, ProxySignInIsTheLoggedOnUsersAndTriedOnce) {
    const std::uint32_t BASIC = 1, NTLM = 2, DIGEST = 8, NEGOTIATE = 0x10;
    auto asks = [](std::optional<std::uint32_t> schemes, std::optional<bool> proxied = true,
                   std::uint32_t target = HTTP_AUTH_TARGET_PROXY, bool set_fails = false) {
        auto answer = ScriptedResponse::ok(407, "");
        answer.through_proxy = proxied;
        if (schemes) answer.schemes = HttpAuthSchemes{*schemes, target};
        answer.credentials_fail = set_fails;
        return answer;
    };
    const auto ok = ScriptedResponse::ok(200, "");
    const struct {
        std::vector<ScriptedResponse> answers;
        std::uint32_t status;
        std::vector<std::uint32_t> logons;
    } cases[] = {
        {{asks(NEGOTIATE), ok}, 200, {NEGOTIATE}},
        {{asks(NTLM), ok}, 200, {NTLM}},
        {{asks(BASIC | NTLM | NEGOTIATE), ok}, 200, {NEGOTIATE}},
        {{asks(BASIC | DIGEST)}, 407, {}},
        {{asks(NEGOTIATE, false)}, 407, {}},                     // went direct: the site itself asks
        {{asks(NEGOTIATE, std::nullopt)}, 407, {}},              // WinHTTP cannot say
        {{asks(NEGOTIATE, true, 0)}, 407, {}},                   // never to the site
        {{asks(std::nullopt)}, 407, {}},                         // the schemes cannot be read
        {{asks(NEGOTIATE), asks(NEGOTIATE)}, 407, {NEGOTIATE}},  // once per request
        {{asks(NEGOTIATE, true, HTTP_AUTH_TARGET_PROXY, true)}, 407, {NEGOTIATE}},
    };
    for (const auto& c : cases) {
        http.requests.clear();
        http.responses.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(open_get(session, "https://h/x", {}).value().status(), c.status);
        EXPECT_EQ(http.requests.at(0).logons, c.logons);
        EXPECT_TRUE(http.responses.empty());
    }
    // The send with the sign-in fails at its stage, with that stage's message.
    http.responses.assign({asks(NTLM), ScriptedResponse::failing_at(HttpStage::Receive, 12002)});
    EXPECT_EQ(opened("https://h/x"), "h did not answer.");
    EXPECT_EQ(http.open_handles(), 1);
}

TEST_F(HttpExchangeTest, FailedReadHasItsDetail) {
    auto response = ScriptedResponse::ok(200, "abcd", 2);
    response.fail_read_after = 1;
    http.responses.push_back(response);
    auto exchange = open_get(session, "https://h/x", {});
    ASSERT_TRUE(exchange);
    auto first = read_chunk(*exchange);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 2u);
    auto second = read_chunk(*exchange);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().text(), "The download stopped.");
}

}  // namespace
}  // namespace quarnet
