#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "driver/failure_message.h"
#include "list/installer_list.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/digest.h"
#include "store/download_files.h"
#include "store/earlier_download.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::chrono::milliseconds PROGRESS_INTERVAL{250};
inline constexpr double MIN_SPEED_SECONDS = 0.5;

// What one transfer works with; the pass lends it all.
struct TransferContext {
    const InstallerList& list;
    const std::string& base;
    const DownloadPaths& paths;
    WebSession& session;
    ProgressWindow& window;
    FileSystem& files;
    ErrorTexts& texts;
    Clock& clock;
};

struct TransferState {
    std::unique_ptr<File> partial;  // open for appending while the transfer runs
    std::uint64_t offset = 0;
    DigestState digest;  // over exactly the first `offset` bytes
    std::uint64_t start_offset = 0;
    std::chrono::nanoseconds start_time{};
    std::chrono::nanoseconds last_update{};
    std::uint32_t attempts = 0;  // failed, short and restarted attempts
};

struct Answered {
    std::uint32_t status = 0;
};
struct Cancelled {};

using AttemptOutcome = std::variant<Answered, FailureMessage, Cancelled>;

// Complete: the partial file (closed) holds `offset` == size bytes and `digest` covers them.
struct TransferComplete {
    std::uint64_t offset = 0;
    DigestState digest;
};

using TransferResult = std::variant<TransferComplete, FailureMessage, Cancelled>;

TransferResult run_transfer(TransferContext& context, ResumePoint resume);
AttemptOutcome run_attempt(TransferContext& context, TransferState& state);

}  // namespace quarnet
