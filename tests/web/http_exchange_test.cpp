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
    HttpExchangeTest() : session(http, texts, http.open_session(u"Quarnet-Setup/0.1.0")) {}

    std::string opened(std::string_view address, std::string_view headers = {}) {
        auto exchange = open_get(session, address, headers);
        return exchange ? "" : exchange.error().text();
    }

    FakeWinHttp http;
    FakeErrorTexts texts;
    WebSession session;
};

TEST_F(HttpExchangeTest, EachFailingStageHasItsMessageAndClosesWhatWasOpened) {
    texts.allocated[{0x80072EFE, MessageTable::System}] = u"The connection was reset.\r\n";
    struct Case {
        HttpStage stage;
        std::uint32_t last_error;
        std::string message;
        std::string calls;
    };
    const Case cases[] = {
        {HttpStage::Connect, 0, "Could not reach h.", "connect"},
        {HttpStage::Open, 0, "Could not start the download.", "connect, open_request, close connection"},
        {HttpStage::Send, 12029, "No connection to h.", "connect, open_request, send, close request, close connection"},
        {HttpStage::Receive, 12002, "h did not answer.",
         "connect, open_request, send, receive, close request, close connection"},
    };
    for (const auto& c : cases) {
        http.calls.clear();
        http.responses.push_back(ScriptedResponse::failing_at(c.stage, c.last_error));
        EXPECT_EQ(opened("https://h:8443/x"), c.message);
        EXPECT_EQ(http.request_calls(), c.calls);
        EXPECT_EQ(http.open_handles(), 1);  // the session alone
    }

    // A system text for the code (12030 in HRESULT form) becomes the detail, trimmed.
    http.responses.push_back(ScriptedResponse::failing_at(HttpStage::Receive, 12030));
    EXPECT_EQ(opened("https://h/x"), "h did not answer (The connection was reset.).");
}

TEST_F(HttpExchangeTest, RefusedAddressMakesNoPlatformCall) {
    http.calls.clear();
    EXPECT_EQ(opened("http://example.com/x"), "The download address must use https.");
    EXPECT_EQ(opened("ftp://h/"), "Not a web address: ftp://h/");
    EXPECT_TRUE(http.calls.empty());
}

TEST_F(HttpExchangeTest, NulInHostOrPathIsNotCutShort) {
    using namespace std::string_literals;
    http.calls.clear();
    EXPECT_EQ(opened("https://h\0evil/x"s), "Could not reach hevil.");  // named, but without the NUL
    EXPECT_EQ(http.request_calls(), "");
    http.responses.push_back(ScriptedResponse::ok(200, ""));
    EXPECT_EQ(opened("https://h/x\0y"s), "Could not start the download.");
    EXPECT_EQ(http.request_calls(), "connect, close connection");
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
    EXPECT_EQ(request.flags, WINHTTP_OPEN_FLAG_SECURE);
    EXPECT_EQ(request.headers, "Range: bytes=1000-\r\n");
    EXPECT_EQ(request.headers_length, 20u);
    // One zero-filled buffer of 262,144 bytes for every read of the exchange.
    ASSERT_EQ(request.read_buffer_sizes.size(), 3u);
    for (auto size : request.read_buffer_sizes) EXPECT_EQ(size, READ_CHUNK_SIZE);
    EXPECT_EQ(request.read_buffers[0], request.read_buffers[2]);
    EXPECT_TRUE(request.buffer_zeroed_at_first_read);
    EXPECT_EQ(http.open_handles(), 1);
}

TEST_F(HttpExchangeTest, PlainAddressNoHeadersAndUnreadableStatus) {
    auto response = ScriptedResponse::ok(200, "");
    response.status.reset();
    http.responses.push_back(response);
    auto exchange = open_get(session, "http://localhost:8080/latest.json", {});
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->status(), 0u);
    EXPECT_EQ(http.requests[0].flags, 0u);
    EXPECT_EQ(http.requests[0].headers_length, 0u);
}

TEST_F(HttpExchangeTest, ProxySignInIsTheLoggedOnUsersAndTriedOnce) {
    const std::uint32_t BASIC = 1, NTLM = 2, DIGEST = 8, NEGOTIATE = 0x10;
    auto asks = [](std::uint32_t schemes, std::optional<bool> proxied = true,
                   std::uint32_t target = HTTP_AUTH_TARGET_PROXY, bool set_fails = false) {
        auto answer = ScriptedResponse::ok(407, "");
        answer.through_proxy = proxied;
        answer.auth = {schemes, target};
        answer.credentials_fail = set_fails;
        return answer;
    };
    auto ok = ScriptedResponse::ok(200, ""), site_asks = asks(NEGOTIATE, false, 0);
    site_asks.status = 401;
    auto resend = [](HttpStage at) { return ScriptedResponse::failing_at(at, 12032); };  // "send it again"
    const std::string again = ", send, receive, query";
    const struct {
        std::vector<ScriptedResponse> answers;
        std::uint32_t status;
        std::string after_query;
    } cases[] = {
        {{asks(NEGOTIATE), ok}, 200, ", proxy, auth, logon 1 16" + again},
        {{asks(NTLM), ok}, 200, ", proxy, auth, logon 1 2" + again},
        {{asks(BASIC | NTLM | NEGOTIATE), ok}, 200, ", proxy, auth, logon 1 16" + again},
        {{asks(BASIC | DIGEST)}, 407, ", proxy, auth"},
        {{asks(NEGOTIATE, false)}, 407, ", proxy"},          // went direct: the site itself asks
        {{asks(NEGOTIATE, std::nullopt)}, 407, ", proxy"},   // WinHTTP cannot say
        {{asks(NEGOTIATE, true, 0)}, 407, ", proxy, auth"},  // never to the site
        {{site_asks}, 401, ""},
        {{asks(NEGOTIATE), asks(NEGOTIATE)}, 407, ", proxy, auth, logon 1 16" + again},  // once per request
        {{asks(0)}, 407, ", proxy, auth"},                                               // the query fails
        {{asks(NEGOTIATE, true, HTTP_AUTH_TARGET_PROXY, true)}, 407, ", proxy, auth, logon 1 16"},
        {{asks(NTLM), resend(HttpStage::Receive), ok}, 200, ", proxy, auth, logon 1 2, send, receive" + again},
    };
    for (const auto& c : cases) {
        http.calls.clear();
        http.responses.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(open_get(session, "https://h/x", {}).value().status(), c.status);
        EXPECT_EQ(http.request_calls(),
                  "connect, open_request, send, receive, query" + c.after_query + ", close request, close connection");
        EXPECT_TRUE(http.responses.empty());
    }
    // Only one more send, and its failure has its stage's message.
    http.responses.assign({asks(NTLM), resend(HttpStage::Send), resend(HttpStage::Receive), ok});
    EXPECT_EQ(opened("https://h/x"), "h did not answer.");
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
