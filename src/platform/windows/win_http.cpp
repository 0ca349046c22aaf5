#include "platform/win_http.h"

#include "platform/windows/system_library.h"
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

// Each function is found once in winhttp.dll from System32. When the DLL or a
// function is missing, each call fails as WinHTTP itself would.
#define WINHTTP(name) SYSTEM_FUNCTION(winhttp_library, name)

std::uint32_t last_error() { return static_cast<std::uint32_t>(::GetLastError()); }

class WindowsWinHttp final : public WinHttp {
public:
    void set_timeouts(HttpHandle session, HttpTimeouts timeouts) override {
        auto call = WINHTTP(WinHttpSetTimeouts);
        if (call == nullptr) return;
        call(session, timeouts.resolve_ms, timeouts.connect_ms, timeouts.send_ms, timeouts.receive_ms);
    }

    Expected<void, std::uint32_t> send_request(HttpHandle request, std::u16string_view headers) override {
        auto call = WINHTTP(WinHttpSendRequest);
        if (call == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        // The headers go without a terminator, with their length in UTF-16 units.
        std::wstring wide_headers(headers.begin(), headers.end());
        BOOL sent = call(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide_headers.data(),
                         static_cast<DWORD>(wide_headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        if (!sent) return std::unexpected(last_error());
        return {};
    }

    Expected<void, std::uint32_t> receive_response(HttpHandle request) override {
        auto call = WINHTTP(WinHttpReceiveResponse);
        if (call == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        if (!call(request, nullptr)) return std::unexpected(last_error());
        return {};
    }

    std::optional<std::uint32_t> query_status(HttpHandle request) override {
        auto call = WINHTTP(WinHttpQueryHeaders);
        if (call == nullptr) return std::nullopt;
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!call(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &status,
                  &size, WINHTTP_NO_HEADER_INDEX))
            return std::nullopt;
        return static_cast<std::uint32_t>(status);
    }

    std::optional<bool> went_through_proxy(HttpHandle request) override {
        auto call = WINHTTP(WinHttpQueryOption);
        if (call == nullptr) return std::nullopt;
        // Room beyond the entry, in case the proxy's name is given after it.
        union {
            WINHTTP_PROXY_RESULT_ENTRY entry;
            std::byte room[1024];
        } answer{};
        DWORD size = sizeof answer;
        if (!call(request, WINHTTP_OPTION_PROXY_RESULT_ENTRY, &answer, &size) || size < sizeof answer.entry)
            return std::nullopt;
        return answer.entry.fProxy != FALSE;
    }

    std::optional<HttpAuthSchemes> query_auth_schemes(HttpHandle request) override {
        auto call = WINHTTP(WinHttpQueryAuthSchemes);
        if (call == nullptr) return std::nullopt;
        DWORD supported = 0;
        DWORD first = 0;
        DWORD target = 0;
        if (!call(request, &supported, &first, &target)) return std::nullopt;
        return HttpAuthSchemes{supported, target};
    }

    bool set_logon_credentials(HttpHandle request, std::uint32_t target, std::uint32_t scheme) override {
        auto call = WINHTTP(WinHttpSetCredentials);
        return call != nullptr && call(request, target, scheme, nullptr, nullptr, nullptr);
    }

    Expected<std::size_t, std::uint32_t> read_data(HttpHandle request, std::span<std::byte> buffer) override {
        auto call = WINHTTP(WinHttpReadData);
        if (call == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        DWORD count = 0;
        if (!call(request, buffer.data(), static_cast<DWORD>(buffer.size()), &count))
            return std::unexpected(last_error());
        return static_cast<std::size_t>(count);
    }

private:
    HttpHandle open_session_handle(const std::u16string& user_agent) override {
        auto open = WINHTTP(WinHttpOpen);
        if (open == nullptr) return nullptr;
        std::wstring agent = to_wide(user_agent);
        return open(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                    0);
    }

    HttpHandle connect_handle(HttpHandle session, const std::u16string& host, std::uint16_t port) override {
        auto connect = WINHTTP(WinHttpConnect);
        if (connect == nullptr) return nullptr;
        std::wstring wide_host = to_wide(host);
        return connect(session, wide_host.c_str(), port, 0);
    }

    HttpHandle open_request_handle(HttpHandle connection, const std::u16string& path, std::uint32_t flags) override {
        auto open_request = WINHTTP(WinHttpOpenRequest);
        if (open_request == nullptr) return nullptr;
        std::wstring wide_path = to_wide(path);
        return open_request(connection, L"GET", wide_path.c_str(), nullptr, WINHTTP_NO_REFERER,
                            WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    }

    void close_handle(HttpHandle handle) override {
        auto close = WINHTTP(WinHttpCloseHandle);
        if (handle != nullptr && close != nullptr) close(handle);
    }
};

}  // namespace

std::unique_ptr<WinHttp> make_win_http() { return std::make_unique<WindowsWinHttp>(); }

}  // namespace quarnet::windows
