#include "doubles/fake_win_http.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace quarnet {

ScriptedResponse ScriptedResponse::ok(std::uint32_t status, std::string_view body, std::size_t chunk_size) {
    ScriptedResponse response;
    response.status = status;
    for (std::size_t at = 0; at < body.size(); at += chunk_size)
        response.chunks.emplace_back(body.substr(at, chunk_size));
    return response;
}

ScriptedResponse ScriptedResponse::failing_at(HttpStage stage, std::uint32_t last_error) {
    ScriptedResponse response;
    response.fail_at = stage;
    response.last_error = last_error;
    return response;
}

struct FakeWinHttp::Session final : HttpSession {
    Session(FakeWinHttp& fake, int n, std::string route) : http(fake), number(n), proxy(std::move(route)) {
        ++http.open_;
    }
    ~Session() override { --http.open_, http.note("close " + std::to_string(number)); }
    FakeWinHttp& http;
    const int number;
    const std::string proxy;
};

class FakeWinHttp::Response final : public HttpResponse {
public:
    Response(FakeWinHttp& http, std::size_t index, ScriptedResponse script) : http_(http), index_(index) {
        ++http_.open_;
        answer(std::move(script));
    }
    ~Response() override { --http_.open_; }

    HttpResult<void> sign_in_to_proxy(std::uint32_t scheme) override {
        http_.requests[index_].logons.push_back(scheme);
        if (script_.credentials_fail) return {};
        ScriptedResponse next = http_.next_response();
        if (next.fail_at) return std::unexpected(HttpFailure{*next.fail_at, next.last_error});
        answer(std::move(next));
        return {};
    }

    HttpResult<std::size_t> read(std::span<std::byte> buffer) override {
        RecordedRequest& record = http_.requests[index_];
        std::size_t read_index = record.reads++;
        record.read_buffers.push_back(buffer);
        if (http_.before_each_read) http_.before_each_read();
        if (script_.fail_read_after && read_index >= *script_.fail_read_after)
            return std::unexpected(HttpFailure{HttpStage::Read, script_.read_error});
        if (chunk_ >= script_.chunks.size()) return 0;
        const std::string& chunk = script_.chunks[chunk_];
        std::size_t count = std::min(chunk.size() - offset_, buffer.size());
        std::memcpy(buffer.data(), chunk.data() + offset_, count);
        offset_ += count;
        if (offset_ == chunk.size()) ++chunk_, offset_ = 0;
        return count;
    }

private:
    void answer(ScriptedResponse script) {
        script_ = std::move(script);
        status_ = script_.status.value_or(0);
        schemes_ = status_ == 407 ? script_.schemes : std::nullopt;
        redirected_to_ = script_.redirected_to;
    }

    FakeWinHttp& http_;
    std::size_t index_;
    ScriptedResponse script_;
    std::size_t chunk_ = 0;   // the next chunk
    std::size_t offset_ = 0;  // bytes of that chunk already read
};

void FakeWinHttp::note(const std::string& event) {
    if (journal != nullptr) journal->push_back(event);
}

ScriptedResponse FakeWinHttp::next_response() {
    if (responses.empty()) {
        ++unscripted_requests;
        return ScriptedResponse::failing_at(HttpStage::Send, 12029);
    }
    ScriptedResponse next = std::move(responses.front());
    responses.pop_front();
    return next;
}

std::unique_ptr<HttpSession> FakeWinHttp::open_session(const std::u16string& agent, const std::string& proxy,
                                                       HttpTimeouts given) {
    user_agent = agent;
    timeouts = given;
    bool fails = !session_failures.empty() && session_failures.front();
    if (!session_failures.empty()) session_failures.pop_front();
    if (fails) {
        note("open_session failed");
        return nullptr;
    }
    note("open_session " + std::to_string(++sessions_));
    return std::make_unique<Session>(*this, sessions_, proxy);
}

HttpResult<std::unique_ptr<HttpResponse>> FakeWinHttp::send(HttpSession& session, const HttpRequest& request) {
    requests.push_back({static_cast<Session&>(session).proxy,
                        to_utf8_lossy(request.host),
                        request.port,
                        to_utf8_lossy(request.path),
                        request.secure,
                        to_utf8_lossy(request.headers),
                        {},
                        0,
                        {}});
    ScriptedResponse script = next_response();
    if (script.fail_at) return std::unexpected(HttpFailure{*script.fail_at, script.last_error});
    return std::make_unique<Response>(*this, requests.size() - 1, std::move(script));
}

std::optional<std::string> FakeWinHttp::proxy_for_url(HttpSession&, std::string_view url, bool detect,
                                                      std::string_view script_url) {
    proxy_questions.push_back(std::string(url) + (detect ? " detect " : " ") + std::string(script_url));
    if (proxy_answers.empty()) return std::nullopt;
    auto answer = std::move(proxy_answers.front());
    proxy_answers.pop_front();
    return answer;
}

}  // namespace quarnet
