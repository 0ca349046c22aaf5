#include "transfer/transfer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "store/download_files.h"
#include "store/file_writes.h"
#include "transfer/retry.h"
#include "web/http_exchange.h"
#include "web/web_address.h"

namespace quarnet {

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t HTTP_OK = 200;
constexpr std::uint32_t HTTP_PARTIAL_CONTENT = 206;
constexpr std::uint32_t HTTP_NOT_FOUND = 404;

std::string request_headers(std::uint64_t offset) {
    if (offset == 0) return std::string(NO_CACHE_HEADERS);
    return "Range: bytes=" + std::to_string(offset) + "-\r\n" + std::string(NO_CACHE_HEADERS);
}

// Cuts the file back to `length` when it is longer. One that is not is left
// alone: on a full disk even setting a file to its own length can fail.
OsResult<void> cut_back(File& file, std::uint64_t length) {
    if (TRY(file.length()) <= length) return {};
    return file.truncate(length);
}

void show_progress(TransferContext& context, const TransferState& state, std::uint64_t done,
                   std::chrono::nanoseconds now) {
    const std::uint64_t size = context.release.size;
    context.window.set_progress(done, size);
    const double elapsed = std::chrono::duration<double>(now - state.start_time).count();
    const std::uint64_t gained = done > state.start_offset ? done - state.start_offset : 0;
    const double speed = static_cast<double>(gained) / std::max(elapsed, MIN_SPEED_SECONDS) / 1'000'000.0;
    context.window.set_line(2, transfer_progress_text(done, size, speed));
}

// A 200 to a ranged request: the server sends the whole file, so start over with
// the same file emptied and a fresh digest.
Result<void> restart_from_zero(TransferContext& context, TransferState& state) {
    TRY_MAP(state.download.file->truncate(0), error, save_failure(error, context.texts));
    state.length_unsure = false;
    state.download.digest = DigestState{};
    state.download.offset = 0;
    return {};
}

}  // namespace

std::string one_decimal_text(double value) {
    // Exact: a double's 53 significant bits times ten need at most 57.
    static_assert(std::numeric_limits<long double>::digits >= 57);
    if (!(value > 0)) value = 0;
    const long double tenths = static_cast<long double>(value) * 10.0L;
    constexpr auto most = static_cast<long double>(std::numeric_limits<std::uint64_t>::max() / 2);
    if (tenths >= most) return std::to_string(std::numeric_limits<std::uint64_t>::max() / 20) + ".0";
    const long double whole = std::floor(tenths);
    const long double fraction = tenths - whole;  // exact
    const std::uint64_t count = round_half_to_even(static_cast<std::uint64_t>(whole), fraction > 0.5L    ? 1
                                                                                      : fraction == 0.5L ? 0
                                                                                                         : -1);
    std::string text = std::to_string(count / 10);
    text += '.';
    text += static_cast<char>('0' + count % 10);
    return text;
}

std::string transfer_progress_text(std::uint64_t done, std::uint64_t size, double megabytes_per_second) {
    return size_text(done) + " of " + size_text(size) + "  \u00B7  " + one_decimal_text(megabytes_per_second) + " MB/s";
}

Result<std::uint32_t> run_attempt(TransferContext& context, TransferState& state) {
    PartialDownload& download = state.download;
    state.last_update = context.clock.now();

    // A write that failed part-way may have left bytes that offset and digest do not count.
    if (state.length_unsure) {
        TRY_MAP(cut_back(*download.file, download.offset), error, write_failure(error, context.texts));
        state.length_unsure = false;
    }

    const std::uint64_t offset_at_start = download.offset;
    const std::string address = installer_address(context.base, context.release.file);
    // Used where it lies: moving an exchange out of its result costs more code than it saves.
    Result<HttpExchange> exchange = open_get(context.session, address, request_headers(offset_at_start));
    if (!exchange) return std::unexpected(std::move(exchange).error());

    const std::uint32_t status = exchange->status();
    const bool read_body = status == HTTP_PARTIAL_CONTENT || (status == HTTP_OK && offset_at_start == 0);
    if (!read_body) return status;

    // The first block of every attempt shows at once.
    state.last_update -= 1s;
    const std::uint64_t size = context.release.size;
    for (;;) {
        std::span<const std::byte> chunk = TRY(read_chunk(*exchange));
        if (chunk.empty()) return status;
        if (context.window.cancel_requested()) return cancelled();

        const std::uint64_t n = chunk.size();
        if (n > size - download.offset) return failure("The website sent more than expected.");
        if (auto written = write_all(*download.file, chunk); !written) {
            state.length_unsure = true;
            return failure(write_failure(written.error(), context.texts));
        }
        download.digest.update(chunk);

        const auto now = context.clock.now();
        if (now - state.last_update >= PROGRESS_INTERVAL) {
            show_progress(context, state, download.offset + n, now);
            state.last_update = now;
        }
        download.offset += n;
    }
}

Result<PartialDownload> run_transfer(TransferContext& context, PartialDownload partial) {
    TransferState state;
    state.download = std::move(partial);
    PartialDownload& download = state.download;

    // Bytes nobody hashed (a stale tail, an over-long file) never precede the new ones.
    TRY_MAP(cut_back(*download.file, download.offset), error, save_failure(error, context.texts));

    context.window.reset_timer();
    state.start_time = context.clock.now();
    state.attempts = 0;
    state.start_offset = download.offset;

    for (;;) {
        if (download.offset >= context.release.size) return std::move(download);
        if (context.window.cancel_requested()) return cancelled();

        const std::uint64_t offset_at_start = download.offset;
        Result<std::uint32_t> answered = run_attempt(context, state);
        if (!answered) {
            if (answered.error().is_cancel()) return std::unexpected(std::move(answered).error());
            TRY(retry_failed_attempt(context, state, std::move(answered).error()));
            continue;
        }

        const std::uint32_t status = *answered;
        if (status == HTTP_OK && offset_at_start > 0) {
            TRY(restart_from_zero(context, state));
            TRY(count_incomplete_attempt(state));
            continue;
        }
        if (status == HTTP_OK || status == HTTP_PARTIAL_CONTENT) {
            if (download.offset < context.release.size) TRY(count_incomplete_attempt(state));
            continue;  // the loop's own test ends a complete one
        }
        if (status == HTTP_NOT_FOUND) return failure("The installer is not on the website at the moment.");
        return failure("The website refused the download (HTTP " + std::to_string(status) + ").");
    }
}

}  // namespace quarnet
