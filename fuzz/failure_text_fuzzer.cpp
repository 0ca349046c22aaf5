// Any system text (UTF-16 units as they come: unpaired surrogates, NULs, every
// kind of white space) for any error code, on its way into an error detail, an
// OS error text, the messages made of them and the bytes of last-error.txt:
// valid UTF-8, no NUL, trimmed as the program trims.
#include <fuzzer/FuzzedDataProvider.h>
#include <unicode/uchar.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "doubles/fake_platform.h"
#include "driver/failure_prompt.h"
#include "platform/error_texts.h"
#include "platform/text.h"
#include "store/work_folder.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

constexpr std::uint32_t NT_BIT = 0x10000000;

void check(bool kept, const char* promise) {
    if (kept) return;
    std::fprintf(stderr, "broken: %s\n", promise);
    std::abort();
}

// The code points of well-formed UTF-8 (shortest form, no surrogates), or nothing.
std::optional<std::u32string> code_points(std::string_view text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80                   ? 1
                           : lead >= 0xC2 && lead < 0xE0 ? 2
                           : lead >= 0xE0 && lead < 0xF0 ? 3
                           : lead >= 0xF0 && lead < 0xF5 ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        points += c;
        i += length;
    }
    return points;
}

// Unicode's White_Space property, as ICU knows it: an oracle of its own, not the program's table.
bool white(char32_t c) { return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE) != 0; }

void check_text(std::string_view text) {
    check(code_points(text).has_value(), "valid UTF-8");
    check(text.find('\0') == std::string_view::npos, "no NUL");
}

// " (" + the system text with White_Space trimmed at both ends + ")", or empty.
void check_detail(const std::string& detail, const std::optional<std::u16string>& system) {
    check_text(detail);
    std::u32string expected;
    if (system) {
        const std::u32string all = *code_points(to_utf8_lossy(system->substr(0, system->find(u'\0'))));
        std::size_t first = 0, last = all.size();
        while (first < last && white(all[first])) ++first;
        while (last > first && white(all[last - 1])) --last;
        expected = all.substr(first, last - first);
    }
    if (expected.empty()) return check(detail.empty(), "a blank text gives no detail");
    check(detail.starts_with(" (") && detail.ends_with(")"), "a detail is parenthesised");
    check(*code_points(detail.substr(2, detail.size() - 3)) == expected, "a detail is trimmed at both ends");
}

// The system text without its trailing TAB, LF, FF, CR and spaces, then " (os error N)".
void check_os_text(const std::string& text, std::uint32_t code, const std::optional<std::u16string>& system) {
    check_text(text);
    const std::string suffix = " (os error " + std::to_string(static_cast<std::int32_t>(code)) + ")";
    check(text.ends_with(suffix), "an OS error text ends with its code");
    const std::string_view shown = std::string_view(text).substr(0, text.size() - suffix.size());
    const std::optional<std::string> strict =
        system ? to_utf8_strict(system->substr(0, system->find(u'\0'))) : std::nullopt;
    if (!strict) return check(shown.starts_with("OS Error "), "no usable text gives the fallback");
    check(strict->starts_with(shown), "the system text is kept");
    check(strict->find_first_not_of("\t\n\f\r ", shown.size()) == std::string::npos, "only trailing space trimmed");
    check(shown.empty() || std::string_view("\t\n\f\r ").find(shown.back()) == std::string_view::npos,
          "no trailing space left");
}

// The failing step's message, as the prompt leaves it in last-error.txt and shows it.
void check_prompted(const FailureMessage& message, bool no_dialog) {
    check_text(message.text());
    check(!message.text().empty(), "a message is never empty");
    FakePlatform fake;
    if (no_dialog) fake.environment.set(std::string(NO_DIALOG_VARIABLE), "");
    const bool retry = show_failure_prompt(message, fake.platform);
    check(!no_dialog || !retry, "with the prompt silenced the answer is no retry");
    const std::string file = std::string(FakeFileSystem::DEFAULT_TEMP_DIRECTORY) + "Quarnet-setup\\last-error.txt";
    check(fake.files.content(file) == message.text(), "last-error.txt holds the message's bytes");
    if (no_dialog) return;
    check(fake.shell.message_boxes.size() == 1 && fake.shell.message_boxes[0].text.starts_with(message.text()),
          "the prompt shows the message");
}

// A failing WinHTTP stage for a host as an address would carry it.
// Stage 0 is Send, 1 Receive, 2 a read.
std::optional<FailureMessage> exchange_failure(int stage, const std::string& host, std::uint32_t last_error,
                                               ErrorTexts& texts) {
    FakeWinHttp http;
    if (stage == 2) {
        ScriptedResponse cut = ScriptedResponse::ok(206, "x");
        cut.fail_read_after = 0;
        cut.read_error = last_error;
        http.responses.push_back(cut);
    } else {
        http.responses.push_back(
            ScriptedResponse::failing_at(stage == 0 ? HttpStage::Send : HttpStage::Receive, last_error));
    }
    WebSession session(http, texts, u"Quarnet-Setup/0.1.0");
    auto exchange = open_get(session, "https://" + host + "/x", {});
    if (!exchange) return exchange.error().message();
    auto chunk = read_chunk(*exchange);
    if (!chunk) return chunk.error().message();
    return std::nullopt;
}

}  // namespace
}  // namespace quarnet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarnet;
    FuzzedDataProvider input(data, size);

    const auto code = input.ConsumeIntegral<std::uint32_t>();
    const bool no_dialog = input.ConsumeBool();
    const bool has_allocated = input.ConsumeBool();
    const bool has_buffered = input.ConsumeBool();
    FakeErrorTexts texts;
    texts.ntdll = input.ConsumeBool();
    texts.format_error = input.ConsumeIntegral<std::uint32_t>();
    const int stage = input.ConsumeIntegralInRange(0, 2);
    // A host as an address from the environment or the list carries it: valid UTF-8.
    const std::u16string host_units = [&] {
        std::string bytes = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 24));
        return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    }();
    const std::string host = to_utf8_lossy(host_units);
    const std::string raw = input.ConsumeRemainingBytesAsString();
    const std::u16string system(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);

    // The same text whichever code and table is asked for.
    const std::uint32_t http_code = winhttp_error_code(code);
    for (std::uint32_t key : {code, code & ~NT_BIT, http_code, http_code & ~NT_BIT}) {
        for (MessageTable table : {MessageTable::System, MessageTable::Ntdll}) {
            if (has_allocated) texts.allocated[{key, table}] = system;
            if (has_buffered) texts.buffered[{key, table}] = system;
        }
    }
    const std::optional<std::u16string> allocated = has_allocated ? std::optional(system) : std::nullopt;
    const std::optional<std::u16string> buffered = has_buffered ? std::optional(system) : std::nullopt;

    const std::string detail = error_detail(http_code, texts);
    check_detail(detail, allocated);
    check_os_text(os_error_text(OsError::from_code(code), texts), code, buffered);

    if (auto message = exchange_failure(stage, host, code, texts)) {
        check_prompted(*message, no_dialog);
        const bool plain_host = host.find_first_of(std::string_view("/:\0", 3)) == std::string::npos;
        if (plain_host && message->text().starts_with("No connection to ")) {
            check(message->text() == "No connection to " + host + detail + ".", "subject, detail, full stop");
        }
    }
    FakeFileSystem files;
    files.fail_next(FsOp::CreateDirectory, OsError::from_code(code), 2);
    if (auto folder = open_work_folder(files, texts); !folder) check_prompted(folder.error().message(), no_dialog);
    return 0;
}
