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
std::optional<FailureMessage> restart_from_zero(TransferContext& context, TransferState& state) {
    if (auto emptied = state.partial->truncate(0); !emptied) return save_failure(emptied.error(), context.texts);
    state.length_unsure = false;
    state.digest = DigestState{};
    state.offset = 0;
    return std::nullopt;
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
    const long double fraction = tenths - whole;
    auto count = static_cast<std::uint64_t>(whole);
    if (fraction > 0.5L || (fraction == 0.5L && count % 2 == 1)) ++count;
    std::string text = std::to_string(count / 10);
    text += '.';
    text += static_cast<char>('0' + count % 10);
    return text;
}

std::string transfer_progress_text(std::uint64_t done, std::uint64_t size, double megabytes_per_second) {
    return size_text(done) + " of " + size_text(size) + "  \u00B7  " + one_decimal_text(megabytes_per_second) + " MB/s";
}

AttemptOutcome run_attempt(TransferContext& context, TransferState& state) {
    state.last_update = context.clock.now();

    // A write that failed part-way may have left bytes that offset and digest do not count.
    if (state.length_unsure) {
        if (auto cut = cut_back(*state.partial, state.offset); !cut) return write_failure(cut.error(), context.texts);
        state.length_unsure = false;
    }

    const std::uint64_t offset_at_start = state.offset;
    const std::string address = installer_address(context.base, context.release.file);
    auto exchange = open_get(context.session, address, request_headers(offset_at_start));
    if (!exchange) return std::move(exchange.error());

    const std::uint32_t status = exchange->status();
    const bool read_body = status == HTTP_PARTIAL_CONTENT || (status == HTTP_OK && offset_at_start == 0);
    if (!read_body) return Answered{status};

    // The first block of every attempt shows at once.
    state.last_update -= 1s;
    const std::uint64_t size = context.release.size;
    for (;;) {
        auto chunk = read_chunk(*exchange);
        if (!chunk) return std::move(chunk.error());
        if (chunk->empty()) return Answered{status};
        if (context.window.cancel_requested()) return Cancelled{};

        const std::uint64_t n = chunk->size();
        if (n > size - state.offset) return FailureMessage("The website sent more than expected.");
        if (auto written = write_all(*state.partial, *chunk); !written) {
            state.length_unsure = true;
            return write_failure(written.error(), context.texts);
        }
        state.digest.update(*chunk);

        const auto now = context.clock.now();
        if (now - state.last_update >= PROGRESS_INTERVAL) {
            show_progress(context, state, state.offset + n, now);
            state.last_update = now;
        }
        state.offset += n;
    }
}

TransferResult run_transfer(TransferContext& context, ResumePoint resume) {
    TransferState state;
    state.partial = std::move(resume.partial);
    state.offset = resume.offset;
    state.digest = std::move(resume.digest);

    // Bytes nobody hashed (a stale tail, an over-long file) never precede the new ones.
    if (auto cut = cut_back(*state.partial, state.offset); !cut) return save_failure(cut.error(), context.texts);

    context.window.reset_timer();
    state.start_time = context.clock.now();
    state.attempts = 0;
    state.start_offset = state.offset;

    for (;;) {
        if (state.offset >= context.release.size) {
            return TransferComplete{std::move(state.partial), state.offset, std::move(state.digest)};
        }
        if (context.window.cancel_requested()) return Cancelled{};

        const std::uint64_t offset_at_start = state.offset;
        AttemptOutcome outcome = run_attempt(context, state);

        if (std::holds_alternative<Cancelled>(outcome)) return Cancelled{};
        if (auto* failed = std::get_if<FailureMessage>(&outcome)) {
            if (auto last = retry_failed_attempt(context, state, std::move(*failed))) return std::move(*last);
            continue;
        }

        const std::uint32_t status = std::get<Answered>(outcome).status;
        if (status == HTTP_OK && offset_at_start > 0) {
            if (auto failed = restart_from_zero(context, state)) return std::move(*failed);
            if (auto last = count_incomplete_attempt(state)) return std::move(*last);
            continue;
        }
        if (status == HTTP_OK || status == HTTP_PARTIAL_CONTENT) {
            if (state.offset >= context.release.size) continue;  // the loop's own test ends it
            if (auto last = count_incomplete_attempt(state)) return std::move(*last);
            continue;
        }
        if (status == HTTP_NOT_FOUND) return FailureMessage("The installer is not on the website at the moment.");
        return FailureMessage("The website refused the download (HTTP " + std::to_string(status) + ").");
    }
}

}  // namespace quarnet
