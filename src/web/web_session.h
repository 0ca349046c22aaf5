#pragma once

#include <memory>
#include <string>

#include "platform/error_texts.h"
#include "platform/win_http.h"

namespace quarnet {

// The WinHTTP session of one run, opened at once and closed when destroyed.
// Requests borrow it.
class WebSession {
public:
    WebSession(WinHttp& http, ErrorTexts& texts, const std::u16string& user_agent, HttpTimeouts timeouts = {})
        : http_(http), texts_(texts), session_(http.open_session(user_agent, timeouts)) {}

    // False when WinHttpOpen failed: no request can be made.
    bool opened() const { return session_ != nullptr; }
    WinHttp& http() const { return http_; }
    ErrorTexts& error_texts() const { return texts_; }
    HttpSession& session() const { return *session_; }

private:
    WinHttp& http_;
    ErrorTexts& texts_;
    std::unique_ptr<HttpSession> session_;
};

}  // namespace quarnet
