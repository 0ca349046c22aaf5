// Real WinHTTP against a canned server on 127.0.0.1, inside the test: each
// connection reads one request and answers with the bytes it was given.

#include <gtest/gtest.h>

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <winsock2.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "doubles/fake_environment.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_shell.h"
#include "list/installer_list.h"
#include "platform/windows/windows_platform.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

class CannedServer {
public:
    // Each answer is sent whole after the request's headers of one connection, in
    // turn, then that connection closes.
    explicit CannedServer(std::string answer) : CannedServer(std::vector<std::string>{std::move(answer)}) {}
    explicit CannedServer(std::vector<std::string> answers) : answers_(std::move(answers)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 1);
        thread_ = std::thread([this] {
            for (const std::string& answer : answers_) serve_one(answer);
        });
    }
    ~CannedServer() {
        closesocket(listener_);
        if (thread_.joinable()) thread_.join();
        WSACleanup();
    }

    std::uint16_t port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/dl/"; }
    // What the client sent, every request; complete once the exchanges have been read.
    std::string request() {
        if (thread_.joinable()) thread_.join();
        return request_;
    }

private:
    void serve_one(const std::string& answer) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char buffer[4096];
        const std::size_t begun = request_.size();
        while (request_.find("\r\n\r\n", begun) == std::string::npos) {
            int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            request_.append(buffer, static_cast<std::size_t>(got));
        }
        for (std::size_t sent = 0; sent < answer.size();) {
            int n = send(client, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        shutdown(client, SD_BOTH);
        closesocket(client);
    }

    std::vector<std::string> answers_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::string request_;
    std::thread thread_;
};

std::string response(const std::string& status_line, const std::string& body) {
    return "HTTP/1.1 " + status_line + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

const std::string LIST = R"({"version":"1.0","file":"Setup.exe","size":5,"sha256":")" + std::string(64, 'b') + "\"}";

class WinHttpWindows : public ::testing::Test {
protected:
    Result<FetchedList> fetch(const std::string& base) {
        environment.set("QUARNET_SETUP_URL", base);
        ProgressWindow window(std::make_unique<FakeProgressDialog>(log));
        return fetch_installer_list(session, window, environment);
    }
    static std::string message(const Result<FetchedList>& fetched) { return fetched ? "" : fetched.error().text(); }

    std::unique_ptr<WinHttp> http = windows::make_win_http();
    std::unique_ptr<ErrorTexts> texts = windows::make_error_texts();
    WebSession session{*http, *texts, u"Quarnet-Setup/0.1.0"};
    FakeEnvironment environment;
    ProgressLog log;
};

TEST_F(WinHttpWindows, ListFetchedAndTheServerSeesTheUserAgent) {
    ASSERT_TRUE(session.opened());
    CannedServer server(response("200 OK", LIST));
    auto fetched = fetch(server.base());
    ASSERT_TRUE(fetched) << message(fetched);
    EXPECT_EQ(fetched->release.file, "Setup.exe");
    std::string request = server.request();
    EXPECT_TRUE(request.starts_with("GET /dl/latest.json HTTP/1.1\r\n")) << request;
    EXPECT_NE(request.find("User-Agent: Quarnet-Setup/0.1.0\r\n"), std::string::npos) << request;
    EXPECT_EQ(request.find("Range:"), std::string::npos) << request;
}

TEST_F(WinHttpWindows, StatusesAndBodiesTheListRefuses) {
    struct Case {
        std::string answer;
        std::string message;
    };
    const Case cases[] = {
        {response("404 Not Found", "gone"), "The website did not give the installer list (HTTP 404)."},
        {response("206 Partial Content", LIST), "The website did not give the installer list (HTTP 206)."},
        {response("200 OK", std::string(70'000, ' ')), "The installer list on the website is too large."},
        {response("200 OK", "not json"), "The installer list on the website could not be read."},
    };
    for (const auto& c : cases) {
        CannedServer server(c.answer);
        EXPECT_EQ(message(fetch(server.base())), c.message);
    }
}

TEST_F(WinHttpWindows, RefusedConnectionAndBodyCutShort) {
    std::uint16_t closed_port;
    {
        CannedServer gone("");
        closed_port = gone.port();
        // Take and drop its one connection, so nothing listens on the port afterwards.
        ignore_failure(fetch(gone.base()));
    }
    EXPECT_EQ(message(fetch("http://127.0.0.1:" + std::to_string(closed_port) + "/")), "No connection to 127.0.0.1.");

    // Headers promise more than arrives before the connection closes.
    CannedServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + LIST.substr(0, 20));
    std::string text = message(fetch(cut.base()));
    EXPECT_TRUE(text.starts_with("The download stopped") ||
                text == "The installer list on the website could not be read.")
        << text;
}

TEST_F(WinHttpWindows, RangeHeaderReachesTheServer) {
    CannedServer server(response("206 Partial Content", "xyz"));
    {
        auto exchange = open_get(session, server.base() + "Setup.exe", "Range: bytes=1000-\r\n");
        ASSERT_TRUE(exchange) << exchange.error().text();
        EXPECT_EQ(exchange->status(), 206u);
        auto chunk = read_chunk(*exchange);
        ASSERT_TRUE(chunk);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk->data()), chunk->size()), "xyz");
    }
    EXPECT_NE(server.request().find("\r\nRange: bytes=1000-\r\n"), std::string::npos);
}

// The calls in their order, with what Wine can show: a session named for a proxy
// sends through it, a 407 it answers gets the sign-in and one more send, and a
// redirect is told where it led. (The user's setting and a proxy script are read
// end to end, through Squid.)
TEST_F(WinHttpWindows, ThroughANamedProxyTheSignInIsSentOnce) {
    CannedServer proxy(
        {"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Negotiate\r\n"
         "Proxy-Authenticate: NTLM\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
         response("200 OK", "in")});
    auto through = http->open_session(u"Quarnet-Setup/0.1.0", "127.0.0.1:" + std::to_string(proxy.port()), {});
    ASSERT_TRUE(through);
    auto sent = http->send(*through, {u"www.pelorin.example", 80, u"/x", false, u""});
    ASSERT_TRUE(sent);
    HttpResponse& answer = **sent;
    EXPECT_EQ(answer.status(), 407u);
    ASSERT_TRUE(answer.schemes());
    EXPECT_EQ(answer.schemes()->target, HTTP_AUTH_TARGET_PROXY);
    EXPECT_EQ(answer.schemes()->supported, HTTP_AUTH_SCHEME_NEGOTIATE | HTTP_AUTH_SCHEME_NTLM);
    ASSERT_TRUE(answer.sign_in_to_proxy(HTTP_AUTH_SCHEME_NEGOTIATE));
    EXPECT_EQ(answer.status(), 200u);
    sent->reset();
    std::string seen = proxy.request();
    EXPECT_EQ(seen.find("GET http://www.pelorin.example"), 0u) << seen;
    EXPECT_NE(seen.find("GET http://www.pelorin.example", 1), std::string::npos) << seen;
}

TEST_F(WinHttpWindows, RedirectIsTold) {
    CannedServer target(response("200 OK", "there"));
    CannedServer moved("HTTP/1.1 302 Found\r\nLocation: " + target.base() + "x\r\nContent-Length: 0\r\n\r\n");
    auto direct = http->open_session(u"Quarnet-Setup/0.1.0", "", {});
    auto sent = http->send(*direct, {u"127.0.0.1", moved.port(), u"/dl/Setup.exe", false, u""});
    ASSERT_TRUE(sent);
    EXPECT_EQ((*sent)->status(), 200u);
    EXPECT_EQ((*sent)->redirected_to(), target.base() + "x");
}

}  // namespace
}  // namespace quarnet
