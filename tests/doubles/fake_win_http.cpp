#include "doubles/fake_win_http.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace quarnet {

ScriptedResponse ScriptedResponse::ok(std::uint32_t status, std::string_view body, std::size_t chunk_size) {
    ScriptedResponse response;
    response.status = status;
    for (std::size_t at = 0; at < body.size(); at += chunk_size) {
        response.chunks.emplace_back(body.substr(at, chunk_size));
    }
    return response;
}

ScriptedResponse ScriptedResponse::failing_at(HttpStage stage, std::uint32_t last_error) {
    ScriptedResponse response;
    response.fail_at = stage;
    response.last_error = last_error;
    return response;
}

std::string FakeWinHttp::request_calls() const {
    std::string joined;
    for (const std::string& call : calls) {
        if (call == "open_session" || call == "set_timeouts") continue;
        if (!joined.empty()) joined += ", ";
        joined += call;
    }
    return joined;
}

HttpHandle FakeWinHttp::make_handle(Kind kind, std::size_t request) {
    auto handle = reinterpret_cast<HttpHandle>(next_handle_);
    next_handle_ += 0x10;
    handles_[handle] = Handle{kind, request};
    return handle;
}

const FakeWinHttp::Handle* FakeWinHttp::find(HttpHandle handle, Kind kind) const {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

void FakeWinHttp::note(const std::string& event, HttpHandle session) {
    if (journal == nullptr) return;
    const Handle* found = find(session, Kind::Session);
    journal->push_back(event + " " + (found != nullptr ? std::to_string(found->request) : std::string("failed")));
}

HttpHandle FakeWinHttp::open_session_handle(const std::u16string& agent) {
    calls.push_back("open_session");
    user_agent = agent;
    bool fails = session_fails;
    if (!session_failures.empty()) {
        fails = session_failures.front();
        session_failures.pop_front();
    }
    HttpHandle session = fails ? nullptr : make_handle(Kind::Session, ++sessions_);
    note("open_session", session);
    return session;
}

void FakeWinHttp::set_timeouts(HttpHandle session, HttpTimeouts given) {
    calls.push_back("set_timeouts");
    timeouts = given;
    note("set_timeouts", session);
}

HttpHandle FakeWinHttp::connect_handle(HttpHandle session, const std::u16string& host, std::uint16_t port) {
    calls.push_back("connect");
    if (find(session, Kind::Session) == nullptr) return nullptr;
    ScriptedResponse response;
    if (responses.empty()) {
        ++unscripted_requests;
        response = ScriptedResponse::failing_at(HttpStage::Send, 12029);
    } else {
        response = std::move(responses.front());
        responses.pop_front();
    }
    RecordedRequest record;
    record.host = to_utf8_lossy(host);
    record.port = port;
    requests.push_back(std::move(record));
    bool fails = response.fail_at == HttpStage::Connect;
    script_.push_back(std::move(response));
    chunk_.push_back(0);
    offset_.push_back(0);
    if (fails) return nullptr;
    return make_handle(Kind::Connection, requests.size() - 1);
}

HttpHandle FakeWinHttp::open_request_handle(HttpHandle connection, const std::u16string& path, std::uint32_t flags) {
    calls.push_back("open_request");
    const Handle* owner = find(connection, Kind::Connection);
    if (owner == nullptr) return nullptr;
    std::size_t index = owner->request;
    RecordedRequest& record = requests[index];
    record.opened = true;
    record.path = to_utf8_lossy(path);
    record.flags = flags;
    if (script_[index].fail_at == HttpStage::Open) return nullptr;
    return make_handle(Kind::Request, index);
}

Expected<void, std::uint32_t> FakeWinHttp::send_request(HttpHandle request, std::u16string_view headers) {
    calls.push_back("send");
    const Handle* owner = find(request, Kind::Request);
    if (owner == nullptr) return std::unexpected(6u);  // ERROR_INVALID_HANDLE
    RecordedRequest& record = requests[owner->request];
    if (record.sent && !responses.empty()) {  // sent again: the next answer
        script_[owner->request] = std::move(responses.front());
        responses.pop_front();
    }
    record.sent = true;
    record.headers = to_utf8_lossy(headers);
    record.headers_length = headers.size();
    const ScriptedResponse& response = script_[owner->request];
    if (response.fail_at == HttpStage::Send) return std::unexpected(response.last_error);
    return {};
}

Expected<void, std::uint32_t> FakeWinHttp::receive_response(HttpHandle request) {
    calls.push_back("receive");
    const Handle* owner = find(request, Kind::Request);
    if (owner == nullptr) return std::unexpected(6u);
    const ScriptedResponse& response = script_[owner->request];
    if (response.fail_at == HttpStage::Receive) return std::unexpected(response.last_error);
    return {};
}

std::optional<std::uint32_t> FakeWinHttp::query_status(HttpHandle request) {
    calls.push_back("query");
    const Handle* owner = find(request, Kind::Request);
    if (owner == nullptr) return std::nullopt;
    return script_[owner->request].status;
}

std::optional<bool> FakeWinHttp::went_through_proxy(HttpHandle request) {
    calls.push_back("proxy");
    const Handle* owner = find(request, Kind::Request);
    return owner != nullptr ? script_[owner->request].through_proxy : std::nullopt;
}

std::optional<HttpAuthSchemes> FakeWinHttp::query_auth_schemes(HttpHandle request) {
    calls.push_back("auth");
    const Handle* owner = find(request, Kind::Request);
    if (owner == nullptr || script_[owner->request].auth.supported == 0) return std::nullopt;
    return script_[owner->request].auth;
}

bool FakeWinHttp::set_logon_credentials(HttpHandle request, std::uint32_t target, std::uint32_t scheme) {
    calls.push_back("logon " + std::to_string(target) + " " + std::to_string(scheme));
    const Handle* owner = find(request, Kind::Request);
    return owner != nullptr && !script_[owner->request].credentials_fail;
}

Expected<std::size_t, std::uint32_t> FakeWinHttp::read_data(HttpHandle request, std::span<std::byte> buffer) {
    calls.push_back("read");
    const Handle* owner = find(request, Kind::Request);
    if (owner == nullptr) return std::unexpected(6u);
    std::size_t index = owner->request;
    RecordedRequest& record = requests[index];
    ScriptedResponse& response = script_[index];

    std::size_t read_index = record.reads++;
    if (read_index == 0 && scan_first_buffer) {
        record.buffer_zeroed_at_first_read =
            std::all_of(buffer.begin(), buffer.end(), [](std::byte b) { return b == std::byte{0}; });
    }
    record.read_buffer_sizes.push_back(buffer.size());
    record.read_buffers.push_back(buffer.data());
    if (before_each_read) before_each_read();
    if (response.before_read) response.before_read(read_index);

    if (response.fail_read_after && read_index >= *response.fail_read_after) {
        return std::unexpected(response.read_error);
    }
    if (chunk_[index] >= response.chunks.size()) return 0;
    const std::string& chunk = response.chunks[chunk_[index]];
    std::size_t count = std::min(chunk.size() - offset_[index], buffer.size());
    std::memcpy(buffer.data(), chunk.data() + offset_[index], count);
    offset_[index] += count;
    if (offset_[index] == chunk.size()) {
        ++chunk_[index];
        offset_[index] = 0;
    }
    return count;
}

void FakeWinHttp::close_handle(HttpHandle handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        calls.push_back("close unknown");
        ++bad_closes;
        return;
    }
    switch (it->second.kind) {
        case Kind::Session:
            calls.push_back("close session");
            note("close", handle);
            break;
        case Kind::Connection:
            calls.push_back("close connection");
            break;
        case Kind::Request:
            calls.push_back("close request");
            break;
    }
    handles_.erase(it);
}

}  // namespace quarnet
