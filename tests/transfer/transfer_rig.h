#pragma once
// One transfer wired to doubles of everything it touches: the scripted WinHTTP,
// the in-memory file system, the virtual clock and a recorded progress dialog.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "doubles/fake_clock.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "doubles/fake_shell.h"
#include "doubles/fake_win_http.h"
#include "doubles/test_bytes.h"
#include "store/digest.h"
#include "transfer/final_check.h"
#include "transfer/transfer.h"

namespace quarnet {

inline const std::string WORK = std::string(FakeFileSystem::DEFAULT_TEMP_DIRECTORY) + "Quarnet-setup";
inline const std::string INSTALLER = WORK + "\\Pelorin-2.1.0.exe";
inline const std::string PARTIAL = INSTALLER + ".part";
inline const std::string BASE = "http://127.0.0.1:8080/dl/";

// "Complete", "Cancelled" or the failure's text.
inline std::string outcome_text(const Result<PartialDownload>& result) {
    if (result) return "Complete";
    return result.error().is_cancel() ? "Cancelled" : result.error().text();
}

struct TransferRig {
    FakeWinHttp http;
    FakeErrorTexts texts;
    FakeFileSystem files;
    FakeClock clock;
    ProgressLog log;
    std::string body = pattern_bytes(3'000);
    Release release{"2.1.0", "Pelorin-2.1.0.exe", sha256_of(body), body.size()};
    std::string base = BASE;
    WebSession session{http, texts, u"test"};
    ProgressWindow window{std::make_unique<FakeProgressDialog>(log)};
    TransferContext context{release, base, session, window, texts, clock};
    bool cancel = false;

    TransferRig() {
        files.add_directory(WORK);
        texts.buffered[{ERROR_CODE_DISK_FULL, MessageTable::System}] = u"Disk full.\r\n";
        texts.buffered[{ERROR_CODE_ACCESS_DENIED, MessageTable::System}] = u"Access denied.\r\n";
        texts.buffered[{ERROR_CODE_SHARING_VIOLATION, MessageTable::System}] = u"Sharing violation.\r\n";
        texts.buffered[{87, MessageTable::System}] = u"Invalid parameter.\r\n";
        log.cancel = [this] { return cancel; };
    }

    void use_body(std::string bytes) {
        body = std::move(bytes);
        release.sha256 = sha256_of(body);
        release.size = body.size();
    }

    // The whole file from `from` on, in chunks, as a 200 or 206 answer.
    ScriptedResponse answer(std::uint32_t status, std::size_t from = 0, std::size_t chunk = 1'000) const {
        return ScriptedResponse::ok(status, std::string_view(body).substr(from), chunk);
    }
    // Bytes [from, to) and then the body ends.
    ScriptedResponse short_answer(std::uint32_t status, std::size_t from, std::size_t to,
                                  std::size_t chunk = 1'000) const {
        return ScriptedResponse::ok(status, std::string_view(body).substr(from, to - from), chunk);
    }
    // Bytes [from, to) and then a read fails.
    ScriptedResponse dropped_answer(std::uint32_t status, std::size_t from, std::size_t to,
                                    std::size_t chunk = 1'000) const {
        auto response = short_answer(status, from, to, chunk);
        response.fail_read_after = response.chunks.size();
        return response;
    }

    // The partial file as an earlier run left it, held and hashed, its bytes all taken over.
    PartialDownload resume_with(const std::string& held) {
        files.add_file(PARTIAL, held);
        PartialDownload resume{own_partial()};
        auto hashed = hash_open_file(*resume.file, held.size());
        resume.offset = hashed->length;
        resume.digest = hashed->digest;
        return resume;
    }
    std::unique_ptr<OwnFile> own_partial() {
        return std::move(files.held_folder(WORK)->open_own(release.file + ".part").value());
    }

    Result<PartialDownload> run(PartialDownload resume = {}) {
        if (!resume.file) resume.file = own_partial();
        return run_transfer(context, std::move(resume));
    }

    // The final check as a transfer hands over to it: the partial file held,
    // `offset` bytes counted and a digest over `digested`.
    Result<std::string> check(std::uint64_t offset, const std::string& digested) {
        if (!held_partial) hold_partial();
        HeldInstaller held = TRY(final_check(PartialDownload{std::move(held_partial), offset, digest_of(digested)},
                                             release, WorkFolder{WORK, files.held_folder(WORK)},
                                             download_paths(release.file), window, texts, clock));
        return held.path;
    }
    Result<std::string> check_sound() { return check(body.size(), body); }
    void hold_partial() { held_partial = own_partial(); }
    std::unique_ptr<OwnFile> held_partial;

    std::vector<std::string> headers() const {
        std::vector<std::string> all;
        for (const auto& r : http.requests) all.push_back(r.headers.substr(0, r.headers.find("Cache")));  // past caches
        return all;
    }
    std::vector<std::string> lines(std::uint32_t n) const { return lines_of(log, n); }
    std::string partial() const { return files.content(PARTIAL).value_or("<missing>"); }
    // Every request's connection and request handle was closed; only the session is left.
    bool exchanges_closed() const { return http.open_handles() == 1; }
};

inline std::string retry_line(int n) {
    return "Connection lost \xE2\x80\x93 trying again (" + std::to_string(n) + " of 8)\xE2\x80\xA6";
}

}  // namespace quarnet
