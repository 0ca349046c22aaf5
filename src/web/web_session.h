#pragma once

#include "platform/error_texts.h"
#include "platform/win_http.h"

namespace quarnet {

// The WinHTTP session of one run; closed when destroyed. Requests borrow it.
class WebSession {
public:
    WebSession(WinHttp& http, ErrorTexts& texts, HttpHandle handle) : http_(http), texts_(texts), handle_(handle) {}
    ~WebSession() { http_.close_handle(handle_); }
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    WinHttp& http() const { return http_; }
    ErrorTexts& error_texts() const { return texts_; }
    HttpHandle handle() const { return handle_; }

private:
    WinHttp& http_;
    ErrorTexts& texts_;
    HttpHandle handle_;
};

}  // namespace quarnet
