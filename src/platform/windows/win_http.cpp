#include "platform/win_http.h"

#include "base/windows_codes.h"
#include "platform/text.h"
#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

// After windows_api.h, so the same settings hold for it.
#include <winhttp.h>

namespace quarnet::windows {
namespace {

static_assert(HTTP_AUTH_SCHEME_NTLM == WINHTTP_AUTH_SCHEME_NTLM &&
              HTTP_AUTH_SCHEME_NEGOTIATE == WINHTTP_AUTH_SCHEME_NEGOTIATE &&
              HTTP_AUTH_TARGET_PROXY == WINHTTP_AUTH_TARGET_PROXY &&
              ERROR_CODE_HTTP_RESEND_REQUEST == ERROR_WINHTTP_RESEND_REQUEST);

constexpr DWORD HTTP_STATUS_PROXY_AUTH_REQUIRED = 407;

// Each function is found once in winhttp.dll from System32. When the DLL or a
// function is missing, each call fails as WinHTTP itself would.
#define WINHTTP(name) SYSTEM_FUNCTION(winhttp_library, name)

struct InternetHandleTraits {  // WinHttpOpen, WinHttpConnect, WinHttpOpenRequest
    using Handle = HINTERNET;
    static Handle invalid() { return nullptr; }
    static void close(Handle handle) {
        if (auto call = WINHTTP(WinHttpCloseHandle)) call(handle);
    }
};
using UniqueInternet = UniqueHandle<InternetHandleTraits>;

std::unexpected<HttpFailure> failed(HttpStage stage) {
    return std::unexpected(HttpFailure{stage, static_cast<std::uint32_t>(::GetLastError())});
}

// A missing function fails its stage as the call would, with the error of the lookup.
template <class Function>
bool present(Function call) {
    if (call == nullptr) ::SetLastError(ERROR_PROC_NOT_FOUND);
    return call != nullptr;
}

// A string WinHTTP allocated for its caller (GlobalFree), in UTF-8; empty for none.
std::string take_global(LPWSTR text) {
    if (text == nullptr) return {};
    std::string utf8 = to_utf8_lossy(from_wide(text));
    ::GlobalFree(text);
    return utf8;
}

// What a WINHTTP_PROXY_INFO names, its strings freed; no proxy unless it names one.
ProxyList take_proxy_info(WINHTTP_PROXY_INFO& info) {
    ProxyList list{take_global(info.lpszProxy), take_global(info.lpszProxyBypass)};
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) list.proxy.clear();
    return list;
}

class WindowsSession final : public HttpSession {
public:
    explicit WindowsSession(UniqueInternet session) : handle(std::move(session)) {}
    UniqueInternet handle;
};

class WindowsResponse final : public HttpResponse {
public:
    WindowsResponse(UniqueInternet connection, UniqueInternet request, std::wstring headers)
        : connection_(std::move(connection)), request_(std::move(request)), headers_(std::move(headers)) {}

    // Sends the request and reads its answer. With `may_resend`, WinHTTP's
    // ERROR_WINHTTP_RESEND_REQUEST from either call allows one more send. The
    // redirects WinHTTP follows meanwhile are told to note_redirect, on this thread.
    HttpResult<void> exchange(bool may_resend) {
        auto send = WINHTTP(WinHttpSendRequest);
        auto receive = WINHTTP(WinHttpReceiveResponse);
        if (auto set_callback = WINHTTP(WinHttpSetStatusCallback))
            set_callback(request_.get(), note_redirect, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
        for (;; may_resend = false) {
            // The headers go without a terminator, with their length in UTF-16 units.
            if (!present(send) ||
                !send(request_.get(), headers_.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers_.data(),
                      static_cast<DWORD>(headers_.size()), WINHTTP_NO_REQUEST_DATA, 0, 0,
                      reinterpret_cast<DWORD_PTR>(this))) {
                if (may_resend && ::GetLastError() == ERROR_WINHTTP_RESEND_REQUEST) continue;
                return failed(HttpStage::Send);
            }
            if (!present(receive) || !receive(request_.get(), nullptr)) {
                if (may_resend && ::GetLastError() == ERROR_WINHTTP_RESEND_REQUEST) continue;
                return failed(HttpStage::Receive);
            }
            read_answer();
            return {};
        }
    }

    HttpResult<void> sign_in_to_proxy(std::uint32_t scheme) override {
        auto set = WINHTTP(WinHttpSetCredentials);
        if (set == nullptr || !set(request_.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr))
            return {};
        return exchange(true);
    }

    HttpResult<std::size_t> read(std::span<std::byte> buffer) override {
        auto call = WINHTTP(WinHttpReadData);
        DWORD count = 0;
        if (!present(call) || !call(request_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count))
            return failed(HttpStage::Read);
        return static_cast<std::size_t>(count);
    }

private:
    // WINHTTP_CALLBACK_STATUS_REDIRECT: the new address, as WinHTTP made it whole.
    static void CALLBACK note_redirect(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD) {
        if (context != 0 && status == WINHTTP_CALLBACK_STATUS_REDIRECT && information != nullptr)
            reinterpret_cast<WindowsResponse*>(context)->redirected_to_ =
                to_utf8_lossy(from_wide(static_cast<const wchar_t*>(information)));
    }

    void read_answer() {
        status_ = 0;
        schemes_.reset();
        DWORD status = 0;
        DWORD size = sizeof status;
        auto query = WINHTTP(WinHttpQueryHeaders);
        if (query != nullptr && query(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            status_ = status;
        if (status_ != HTTP_STATUS_PROXY_AUTH_REQUIRED) return;
        DWORD supported = 0;
        DWORD first = 0;
        DWORD target = 0;
        auto schemes = WINHTTP(WinHttpQueryAuthSchemes);
        if (schemes != nullptr && schemes(request_.get(), &supported, &first, &target))
            schemes_ = HttpAuthSchemes{supported, target};
    }

    // Declared in this order so that the request closes first.
    UniqueInternet connection_;
    UniqueInternet request_;
    std::wstring headers_;
};

class WindowsWinHttp final : public WinHttp {
public:
    std::unique_ptr<HttpSession> open_session(const std::u16string& user_agent, const std::string& proxy,
                                              HttpTimeouts timeouts) override {
        auto open = WINHTTP(WinHttpOpen);
        if (open == nullptr) return nullptr;
        std::wstring proxy_name = to_wide(to_utf16(proxy));
        UniqueInternet session(open(
            to_wide(user_agent).c_str(), proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
            proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy_name.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session.valid()) return nullptr;
        if (auto set = WINHTTP(WinHttpSetTimeouts))
            set(session.get(), timeouts.resolve_ms, timeouts.connect_ms, timeouts.send_ms, timeouts.receive_ms);
        return std::make_unique<WindowsSession>(std::move(session));
    }

    HttpResult<std::unique_ptr<HttpResponse>> send(HttpSession& session, const HttpRequest& request) override {
        auto connect = WINHTTP(WinHttpConnect);
        auto open_request = WINHTTP(WinHttpOpenRequest);
        UniqueInternet connection(present(connect) ? connect(static_cast<WindowsSession&>(session).handle.get(),
                                                             to_wide(request.host).c_str(), request.port, 0)
                                                   : nullptr);
        if (!connection.valid()) return failed(HttpStage::Connect);
        UniqueInternet handle(present(open_request)
                                  ? open_request(connection.get(), L"GET", to_wide(request.path).c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 request.secure ? WINHTTP_FLAG_SECURE : 0)
                                  : nullptr);
        if (!handle.valid()) return failed(HttpStage::Open);
        auto response =
            std::make_unique<WindowsResponse>(std::move(connection), std::move(handle), to_wide(request.headers));
        TRY(response->exchange(false));
        return response;
    }

    UserProxySetting user_proxy_setting() override {
        auto call = WINHTTP(WinHttpGetIEProxyConfigForCurrentUser);
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
        if (call == nullptr || !call(&config)) return {};
        return UserProxySetting{config.fAutoDetect != FALSE,
                                take_global(config.lpszAutoConfigUrl),
                                {take_global(config.lpszProxy), take_global(config.lpszProxyBypass)}};
    }

    ProxyList machine_proxy_setting() override {
        auto call = WINHTTP(WinHttpGetDefaultProxyConfiguration);
        WINHTTP_PROXY_INFO info{};
        if (call == nullptr || !call(&info)) return {};
        return take_proxy_info(info);
    }

    std::optional<std::string> proxy_for_url(HttpSession& session, std::string_view url, bool detect,
                                             std::string_view script_url) override {
        auto call = WINHTTP(WinHttpGetProxyForUrl);
        if (call == nullptr) return std::nullopt;
        std::wstring wide_url = to_wide(to_utf16(url));
        std::wstring wide_script = to_wide(to_utf16(script_url));
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags =
            (detect ? WINHTTP_AUTOPROXY_AUTO_DETECT : 0) | (script_url.empty() ? 0 : WINHTTP_AUTOPROXY_CONFIG_URL);
        options.dwAutoDetectFlags = detect ? WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A : 0;
        options.lpszAutoConfigUrl = script_url.empty() ? nullptr : wide_script.c_str();
        WINHTTP_PROXY_INFO info{};
        if (!call(static_cast<WindowsSession&>(session).handle.get(), wide_url.c_str(), &options, &info))
            return std::nullopt;
        return take_proxy_info(info).proxy;
    }
};

}  // namespace

std::unique_ptr<WinHttp> make_win_http() { return std::make_unique<WindowsWinHttp>(); }

}  // namespace quarnet::windows
