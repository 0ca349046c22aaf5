#pragma once

#include <utility>

#include "platform/error_texts.h"
#include "platform/win_http.h"

namespace quarnet {

// The WinHTTP session of one run; closed when destroyed. Requests borrow it.
class WebSession {
public:
    // Takes over `handle`, the session WinHttpOpen gave.
    WebSession(WinHttp& http, ErrorTexts& texts, UniqueHttpHandle handle)
        : http_(http), texts_(texts), handle_(std::move(handle)) {}

    WinHttp& http() const { return http_; }
    ErrorTexts& error_texts() const { return texts_; }
    HttpHandle handle() const { return handle_.get(); }

private:
    WinHttp& http_;
    ErrorTexts& texts_;
    UniqueHttpHandle handle_;
};

}  // namespace quarnet
