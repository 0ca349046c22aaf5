#pragma once
// A WinHttp that only opens and closes sessions: what the driver does itself.
// Every call is recorded into a journal shared with the other doubles.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/win_http.h"

namespace quarnet {

using Events = std::vector<std::string>;

// Only the session calls the run loop makes itself, recorded into the shared journal.
class SessionOnlyHttp : public WinHttp {
public:
    explicit SessionOnlyHttp(Events& journal) : journal_(journal) {}

    std::deque<bool> open_fails;  // taken per run; succeeds when empty
    std::vector<std::u16string> agents;
    std::vector<HttpTimeouts> timeouts;
    int open_handles = 0;

    HttpHandle open_session(const std::u16string& user_agent) override {
        agents.push_back(user_agent);
        bool fails = !open_fails.empty() && open_fails.front();
        if (!open_fails.empty()) open_fails.pop_front();
        if (fails) {
            journal_.push_back("open_session failed");
            return nullptr;
        }
        ++next_;
        ++open_handles;
        journal_.push_back("open_session " + std::to_string(next_));
        return reinterpret_cast<HttpHandle>(next_);
    }
    void set_timeouts(HttpHandle session, HttpTimeouts t) override {
        timeouts.push_back(t);
        journal_.push_back("set_timeouts " + std::to_string(reinterpret_cast<std::uintptr_t>(session)));
    }
    void close_handle(HttpHandle handle) override {
        --open_handles;
        journal_.push_back("close " + std::to_string(reinterpret_cast<std::uintptr_t>(handle)));
    }

    // The pass makes the requests; the loop itself never does.
    HttpHandle connect(HttpHandle, const std::u16string&, std::uint16_t) override { return unused(); }
    HttpHandle open_request(HttpHandle, const std::u16string&, std::uint32_t) override { return unused(); }
    std::expected<void, std::uint32_t> send_request(HttpHandle, std::u16string_view) override {
        return std::unexpected(unused_error());
    }
    std::expected<void, std::uint32_t> receive_response(HttpHandle) override { return std::unexpected(unused_error()); }
    std::optional<std::uint32_t> query_status(HttpHandle) override { return unused(), std::nullopt; }
    std::optional<bool> went_through_proxy(HttpHandle) override { return unused(), std::nullopt; }
    std::optional<HttpAuthSchemes> query_auth_schemes(HttpHandle) override { return unused(), std::nullopt; }
    bool set_logon_credentials(HttpHandle, std::uint32_t, std::uint32_t) override { return unused(), false; }
    std::expected<std::size_t, std::uint32_t> read_data(HttpHandle, std::span<std::byte>) override {
        return std::unexpected(unused_error());
    }

private:
    static std::nullptr_t unused() {
        ADD_FAILURE() << "the run loop makes no requests itself";
        return nullptr;
    }
    static std::uint32_t unused_error() { return unused(), 12029u; }
    Events& journal_;
    std::uintptr_t next_ = 0;
};

}  // namespace quarnet
