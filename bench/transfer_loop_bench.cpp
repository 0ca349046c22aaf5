// Cost per byte of the transfer loop, fed by the test doubles, beside the least
// any download can do: SHA-256 over the bytes plus one copy of them, and beside
// the read-back of the finished installer through its held handle. Run under
// callgrind (bench/run-bench does) so the counts are instructions, not time.
//   quarnet_transfer_loop_bench transfer|bare|readback [MiB]

#include <valgrind/callgrind.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "doubles/fake_clock.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "doubles/fake_shell.h"
#include "doubles/fake_win_http.h"
#include "platform/sha256.h"
#include "store/digest.h"
#include "store/held_installer.h"
#include "transfer/transfer.h"
#include "web/http_exchange.h"

using namespace quarnet;

namespace {

std::string make_body(std::size_t bytes) {
    std::string body(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i) body[i] = static_cast<char>((i * 131) >> 7);
    return body;
}

int run_transfer_loop(const std::string& body) {
    FakeWinHttp http;
    FakeErrorTexts texts;
    FakeFileSystem files;
    FakeClock clock;
    ProgressLog log;
    files.add_directory("C:\\Temp\\Quarnet-setup");
    Release release{"1", "big.exe", "", body.size()};
    std::string base = "http://127.0.0.1:8080/";
    WebSession session{http, texts, u"bench"};
    ProgressWindow window{std::make_unique<FakeProgressDialog>(log)};
    clock.step_per_read = std::chrono::milliseconds(10);
    TransferContext context{release, base, session, window, texts, clock};
    http.responses.push_back(ScriptedResponse::ok(200, body, READ_CHUNK_SIZE));
    auto partial = files.held_folder("C:\\Temp\\Quarnet-setup")->open_own("big.exe.part");
    if (!partial) return 1;

    CALLGRIND_START_INSTRUMENTATION;
    auto complete = run_transfer(context, PartialDownload{std::move(*partial)});
    CALLGRIND_STOP_INSTRUMENTATION;
    if (!complete) return 1;
    std::printf("digest %s\n", digest_text(std::move(complete->digest)).c_str());
    return 0;
}

int run_readback(const std::string& body) {
    FakeFileSystem files;
    const std::string folder = "C:\\Temp\\Quarnet-setup";
    files.add_file(folder + "\\big.exe", body);
    DigestState digest;
    digest.update(std::as_bytes(std::span(body)));
    Release release{"1", "big.exe", digest_text(digest), body.size()};
    const WorkFolder work{folder, files.held_folder(folder)};
    FakeClock clock;
    InUseWait wait(clock, nullptr);
    CALLGRIND_START_INSTRUMENTATION;
    auto held = hold_installer(work, "big.exe", release, wait);
    CALLGRIND_STOP_INSTRUMENTATION;
    return held && *held ? 0 : 1;
}

int run_bare(const std::string& body) {
    std::vector<char> copy(body.size());
    Sha256 sha;
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t at = 0; at < body.size(); at += READ_CHUNK_SIZE) {
        const std::size_t n = std::min(READ_CHUNK_SIZE, body.size() - at);
        std::memcpy(copy.data() + at, body.data() + at, n);
        sha.update(std::as_bytes(std::span(body.data() + at, n)));
    }
    auto digest = sha.finish();
    CALLGRIND_STOP_INSTRUMENTATION;
    std::printf("digest byte0 %02x\n", digest[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s transfer|bare|readback [MiB]\n", argv[0]);
        return 2;
    }
    const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 16;
    const std::string body = make_body(mib << 20);
    const auto began = std::chrono::steady_clock::now();
    int rc = 0;
    if (std::strcmp(argv[1], "bare") == 0) {
        rc = run_bare(body);
    } else if (std::strcmp(argv[1], "readback") == 0) {
        rc = run_readback(body);
    } else {
        rc = run_transfer_loop(body);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%s: %zu MiB in %.3f s (%.0f MB/s)\n", argv[1], mib, seconds,
                static_cast<double>(mib << 20) / seconds / 1e6);
    return rc;
}
