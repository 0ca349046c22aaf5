// Real WinHTTP against a canned server on 127.0.0.1, inside the test: each
// connection reads one request and answers with the bytes it was given.

#include <gtest/gtest.h>

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <winsock2.h>

#include <memory>
#include <string>
#include <thread>

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
    // `answer` is sent whole after the request's headers, then the connection closes.
    explicit CannedServer(std::string answer) : answer_(std::move(answer)) {
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
        thread_ = std::thread([this] { serve_one(); });
    }
    ~CannedServer() {
        closesocket(listener_);
        if (thread_.joinable()) thread_.join();
        WSACleanup();
    }

    std::uint16_t port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/dl/"; }
    // What the client sent; complete once the exchange has been read.
    std::string request() {
        if (thread_.joinable()) thread_.join();
        return request_;
    }

private:
    void serve_one() {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char buffer[4096];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            request_.append(buffer, static_cast<std::size_t>(got));
        }
        for (std::size_t sent = 0; sent < answer_.size();) {
            int n = send(client, answer_.data() + sent, static_cast<int>(answer_.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        shutdown(client, SD_BOTH);
        closesocket(client);
    }

    std::string answer_;
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

}  // namespace
}  // namespace quarnet
