#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/release.h"
#include "base/result.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/digest.h"
#include "store/download_files.h"
#include "store/partial_download.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::chrono::milliseconds PROGRESS_INTERVAL{250};
inline constexpr double MIN_SPEED_SECONDS = 0.5;

// What one transfer works with; the pass lends it all.
struct TransferContext {
    const Release& release;
    const std::string& base;
    WebSession& session;
    ProgressWindow& window;
    ErrorTexts& texts;
    Clock& clock;
};

struct TransferState {
    PartialDownload download;  // held from the earlier-download check on; writes land at its offset
    std::uint64_t start_offset = 0;
    std::chrono::nanoseconds start_time{};
    std::chrono::nanoseconds last_update{};
    std::uint32_t attempts = 0;  // failed, short and restarted attempts
    // A write failed part-way: the file may hold bytes past the offset until it is cut back.
    bool length_unsure = false;
};

// Complete, the partial file, still held, holds exactly the release's size in
// bytes and the digest covers them. Failed or cancelled, the partial file is
// closed and keeps every block written whole. A write that failed part-way on
// the last attempt (or before a cancel) can leave some of that block's bytes
// after them: bytes of the installer all the same, which the next pass hashes
// with the rest.
[[nodiscard]] Result<PartialDownload> run_transfer(TransferContext& context, PartialDownload partial);
// One request and its body: the status it was answered with.
[[nodiscard]] Result<std::uint32_t> run_attempt(TransferContext& context, TransferState& state);

// The text on line 2 while bytes arrive: "12 MB of 85 MB  ·  3.4 MB/s".
std::string transfer_progress_text(std::uint64_t done, std::uint64_t size, double megabytes_per_second);
// Fixed notation, one decimal, rounded to nearest with ties to even.
std::string one_decimal_text(double value);

}  // namespace quarnet
