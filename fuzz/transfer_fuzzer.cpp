// Any run of server answers, cuts and file-system faults: the transfer and the
// final check keep their promises on every path. The input scripts each attempt
// as it connects. Every answer carries true bytes of the installer (from the
// offset asked for, or from 0 for a 200), so any damage on disk is the
// program's own. The clock is virtual: no input sleeps.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "doubles/fake_clock.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "doubles/fake_shell.h"
#include "doubles/fake_win_http.h"
#include "doubles/test_bytes.h"
#include "store/digest.h"
#include "transfer/final_check.h"
#include "transfer/retry.h"
#include "transfer/transfer.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

const std::string WORK = std::string(FakeFileSystem::DEFAULT_TEMP_DIRECTORY) + "Quarnet-setup";
const std::string INSTALLER = WORK + "\\Pelorin-2.1.0.exe";
const std::string PARTIAL = INSTALLER + ".part";

void check(bool kept, const char* promise) {
    if (kept) return;
    std::fprintf(stderr, "broken: %s\n", promise);
    std::abort();
}

bool is_prefix(const std::string& held, const std::string& body) {
    return held.size() <= body.size() && body.compare(0, held.size(), held) == 0;
}

void check_message(const FailureMessage& message) {
    check(!message.text().empty(), "a message is never empty");
    check(message.text().find('\0') == std::string::npos, "a message holds no NUL");
}

OsError fuzzed_error(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0:
            return OsError::from_code(ERROR_CODE_DISK_FULL);
        case 1:
            return OsError::from_code(ERROR_CODE_ACCESS_DENIED);
        case 2:
            return OsError::from_code(10004);  // interrupted: write_all repeats it
        case 3:
            return OsError::write_zero();
        default:
            return OsError::from_code(input.ConsumeIntegral<std::uint32_t>());
    }
}

// Each request takes the answer the input describes next, made when it is sent:
// the offset it will ask for is then the partial file's length.
class ScriptedServer final : public FakeWinHttp {
public:
    ScriptedServer(FuzzedDataProvider& input, const std::string& body, FakeFileSystem& files)
        : input_(input), body_(body), files_(files) {}

    std::vector<std::string> expected_headers;  // per request, from the file's length

    HttpResult<std::unique_ptr<HttpResponse>> send(HttpSession& session, const HttpRequest& request) override {
        const std::size_t asked = files_.content(PARTIAL).value_or("").size();
        expected_headers.push_back((asked == 0 ? "" : "Range: bytes=" + std::to_string(asked) + "-\r\n") +
                                   std::string(NO_CACHE_HEADERS));
        responses.push_front(answer(asked));
        return FakeWinHttp::send(session, request);
    }

private:
    ScriptedResponse answer(std::size_t asked) {
        const int kind = input_.ConsumeIntegralInRange(0, 12);
        if (kind < 4) {
            constexpr HttpStage stages[] = {HttpStage::Connect, HttpStage::Open, HttpStage::Send, HttpStage::Receive};
            return ScriptedResponse::failing_at(stages[kind], input_.ConsumeIntegral<std::uint32_t>());
        }
        std::optional<std::uint32_t> status;
        switch (kind) {
            case 4:
            case 5:
            case 6:
                status = 206;  // Range honoured
                break;
            case 7:
            case 8:
                status = 200;  // from the start: Range ignored when asked is above 0
                break;
            case 9:
                status = input_.PickValueInArray({404u, 416u, 500u, 0u});
                break;
            case 10:
                status = input_.ConsumeIntegral<std::uint16_t>();
                break;
            default:
                break;  // the status cannot be read
        }
        const std::size_t from = status == 200u ? 0 : std::min(asked, body_.size());
        std::string bytes = body_.substr(from);
        switch (input_.ConsumeIntegralInRange(0, 3)) {
            case 0:
                bytes.resize(input_.ConsumeIntegralInRange<std::size_t>(0, bytes.size()));  // ends early
                break;
            case 1:
                bytes += std::string(input_.ConsumeIntegralInRange<std::size_t>(1, 64), 'X');  // too much
                break;
            default:
                break;
        }
        ScriptedResponse response =
            ScriptedResponse::ok(0, bytes, input_.ConsumeIntegralInRange<std::size_t>(1, 1'500));
        response.status = status;
        if (input_.ConsumeBool()) {  // a cut: the read after this many fails
            response.fail_read_after = input_.ConsumeIntegralInRange<std::size_t>(0, response.chunks.size());
            response.read_error = input_.ConsumeIntegral<std::uint32_t>();
        }
        return response;
    }

    FuzzedDataProvider& input_;
    const std::string& body_;
    FakeFileSystem& files_;
};

void fault_files(FuzzedDataProvider& input, FakeFileSystem& files, std::size_t size) {
    if (input.ConsumeBool()) files.set_write_limit(input.ConsumeIntegralInRange<std::size_t>(1, 700));
    if (input.ConsumeBool()) {
        files.set_capacity(input.ConsumeIntegralInRange<std::uint64_t>(0, size),
                           input.ConsumeBool() ? DiskFullMode::Error : DiskFullMode::WriteZero);
    }
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const FsOp op = input.PickValueInArray(
            {FsOp::OpenHeld, FsOp::Write, FsOp::Truncate, FsOp::Delete, FsOp::MoveReplacing, FsOp::RenameByHandle});
        const OsError error = fuzzed_error(input);
        const int times = input.ConsumeIntegralInRange(1, 3);
        files.fail({op, error, times, {}, input.ConsumeIntegralInRange(0, 6)});
    }
}

void check_outcome(Result<PartialDownload> result, const std::string& body, const Release& release,
                   ProgressWindow& window, FakeFileSystem& files, ErrorTexts& texts, Clock& clock) {
    if (!result) {
        if (!result.error().is_cancel()) check_message(result.error().message());
        return;
    }
    PartialDownload* complete = &*result;

    check(complete->offset == body.size(), "a complete transfer has the announced size");
    check(digest_text(complete->digest) == release.sha256, "a complete transfer has the announced digest");
    check(files.content(PARTIAL) == body, "a complete partial file holds the installer");
    Result<HeldInstaller> checked =
        final_check(std::move(*complete), release, WorkFolder{WORK, files.held_folder(WORK)},
                    download_paths(release.file), window, texts, clock);
    if (HeldInstaller* ready = checked ? &*checked : nullptr) {
        check(ready->path == INSTALLER && ready->file != nullptr && files.content(INSTALLER) == body &&
                  !files.exists(PARTIAL),
              "a sound download is handed over under its name, held");
    } else {
        if (!checked.error().is_cancel()) check_message(checked.error().message());  // or a cancelled wait
        check(files.content(PARTIAL) == body || files.content(INSTALLER) == body,
              "a failed rename or read-back keeps the verified file");
    }
}

}  // namespace
}  // namespace quarnet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarnet;
    FuzzedDataProvider input(data, size);

    std::string body(input.ConsumeIntegralInRange<std::size_t>(1, 3'000), '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7 + 3) % 251);
    const Release release{"2.1.0", "Pelorin-2.1.0.exe", sha256_of(body), body.size()};

    // What an earlier run left: a true prefix, perhaps longer than the part taken over.
    FakeFileSystem files;
    files.add_directory(WORK);
    const auto resumed = input.ConsumeIntegralInRange<std::size_t>(0, body.size());
    const auto held = input.ConsumeIntegralInRange<std::size_t>(resumed, body.size());
    if (held > 0 || input.ConsumeBool()) files.add_file(PARTIAL, body.substr(0, held));
    // Held and hashed as the earlier-download check hands it over.
    PartialDownload resume{files.held_folder(WORK)->open_own(release.file + ".part").value()};
    auto hashed = hash_open_file(*resume.file, resumed);
    resume.offset = hashed->length;
    resume.digest = hashed->digest;
    fault_files(input, files, body.size());
    const std::string base = input.ConsumeIntegralInRange(0, 15) == 0 ? "ftp://h/" : "http://127.0.0.1:8080/dl/";
    const int cancel_at = input.ConsumeIntegralInRange(0, 30);  // the poll that answers yes; 0: never

    ScriptedServer http(input, body, files);
    http.before_each_read = [&] {  // the length alone: a copy of the content per read costs more than the read
        auto info = files.file_info(PARTIAL);
        check(!info || info->length <= body.size(), "never more than size bytes");
    };
    FakeErrorTexts texts;
    texts.buffered[{ERROR_CODE_DISK_FULL, MessageTable::System}] = u"Disk full.\r\n";
    texts.buffered[{ERROR_CODE_ACCESS_DENIED, MessageTable::System}] = u"Access denied.\r\n";
    texts.allocated[{0x80072EFE, MessageTable::System}] = u"The connection was reset.\r\n";
    FakeClock clock;
    ProgressLog log;
    log.cancel = [&] { return cancel_at != 0 && count_of(log, "cancel?") >= cancel_at; };
    {
        WebSession session(http, texts, u"Quarnet-Setup/0.1.0");
        ProgressWindow window(std::make_unique<FakeProgressDialog>(log));
        TransferContext context{release, base, session, window, texts, clock};

        Result<PartialDownload> result = run_transfer(context, std::move(resume));

        check(http.requests.size() <= RETRY_LIMIT, "never more than 8 attempts");
        check(clock.waits.size() < RETRY_LIMIT, "never more than 7 waits");
        check(http.open_handles() == 1, "every exchange is closed");
        for (std::size_t i = 0; i < http.requests.size(); ++i) {
            check(http.requests[i].headers == http.expected_headers[i], "Range = offset");
        }
        check(is_prefix(files.content(PARTIAL).value_or(""), body), "the partial file is a true prefix");
        for (const auto& [done, total] : progress_of(log)) check(done <= total && total == body.size(), "progress");
        check_outcome(std::move(result), body, release, window, files, texts, clock);
    }
    return 0;
}
