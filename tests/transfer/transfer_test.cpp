// The transfer against scripted answers: what is asked for, what lands in the
// partial file, how each answer is judged, and what the window shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "transfer/transfer_rig.h"

namespace quarnet {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The download ended Complete with exactly the announced bytes in the file and in the digest.
void expect_complete(TransferRig& rig, const Result<PartialDownload>& result) {
    ASSERT_EQ(outcome_text(result), "Complete");
    const PartialDownload& complete = *result;
    EXPECT_EQ(complete.offset, rig.body.size());
    EXPECT_EQ(digest_text(complete.digest), rig.release.sha256);
    EXPECT_EQ(rig.partial(), rig.body);
}

struct JudgementRow {
    const char* name;
    std::vector<ScriptedResponse> (*responses)(const TransferRig&);
    std::size_t resume_from;
    std::string outcome;
    Strings headers;
    std::vector<std::uint32_t> waits;
    std::size_t bytes_kept;  // in the partial file afterwards
};

TEST(TransferJudgement, EachAnswerIsJudgedByItsStatusAndWhetherARangeWasAsked) {
    using R = std::vector<ScriptedResponse>;
    const std::string ranged = "Range: bytes=1000-\r\n";
    const std::vector<JudgementRow> rows = {
        {"whole file", [](const TransferRig& r) { return R{r.answer(200)}; }, 0, "Complete", {""}, {}, 3'000},
        {"the missing tail",
         [](const TransferRig& r) { return R{r.answer(206, 1'000)}; },
         1'000,
         "Complete",
         {ranged},
         {},
         3'000},
        {"206 without a range asked",
         [](const TransferRig& r) { return R{r.answer(206)}; },
         0,
         "Complete",
         {""},
         {},
         3'000},
        {"not found",
         [](const TransferRig&) { return R{ScriptedResponse::ok(404, "no such file")}; },
         1'000,
         "The installer is not on the website at the moment.",
         {ranged},
         {},
         1'000},
        {"range not satisfiable",
         [](const TransferRig&) { return R{ScriptedResponse::ok(416, "")}; },
         1'000,
         "The website refused the download (HTTP 416).",
         {ranged},
         {},
         1'000},
        {"server error",
         [](const TransferRig&) { return R{ScriptedResponse::ok(500, "oops")}; },
         0,
         "The website refused the download (HTTP 500).",
         {""},
         {},
         0},
        {"unreadable status",
         [](const TransferRig&) {
             auto response = ScriptedResponse::ok(200, "body");
             response.status = std::nullopt;
             return R{response};
         },
         0,
         "The website refused the download (HTTP 0).",
         {""},
         {},
         0},
        {"redirect status",
         [](const TransferRig&) { return R{ScriptedResponse::ok(302, "")}; },
         0,
         "The website refused the download (HTTP 302).",
         {""},
         {},
         0},
        {"range ignored, then whole file",
         [](const TransferRig& r) {
             return R{r.answer(200), r.answer(200)};
         },
         1'000,
         "Complete",
         {ranged, ""},
         {},
         3'000},
        {"ended early, then the rest",
         [](const TransferRig& r) {
             return R{r.short_answer(200, 0, 2'000), r.answer(206, 2'000)};
         },
         0,
         "Complete",
         {"", "Range: bytes=2000-\r\n"},
         {},
         3'000},
        {"connection refused, then the rest",
         [](const TransferRig& r) {
             return R{ScriptedResponse::failing_at(HttpStage::Send, 12029), r.answer(206, 1'000)};
         },
         1'000,
         "Complete",
         {ranged, ranged},
         {2},
         3'000},
        {"dropped mid-body, then the rest",
         [](const TransferRig& r) {
             return R{r.dropped_answer(206, 1'000, 2'000), r.answer(206, 2'000)};
         },
         1'000,
         "Complete",
         {ranged, "Range: bytes=2000-\r\n"},
         {2},
         3'000},
        {"no answer, then whole file",
         [](const TransferRig& r) {
             return R{ScriptedResponse::failing_at(HttpStage::Receive, 12002), r.answer(200)};
         },
         0,
         "Complete",
         {"", ""},
         {2},
         3'000},
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        for (auto& response : row.responses(rig)) rig.http.responses.push_back(std::move(response));
        PartialDownload resume =
            row.resume_from ? rig.resume_with(rig.body.substr(0, row.resume_from)) : PartialDownload{};

        auto result = rig.run(std::move(resume));

        EXPECT_EQ(outcome_text(result), row.outcome);
        EXPECT_EQ(rig.headers(), row.headers);
        EXPECT_EQ(rig.clock.waits, row.waits);
        EXPECT_EQ(rig.partial(), rig.body.substr(0, row.bytes_kept));
        EXPECT_EQ(rig.http.unscripted_requests, 0);
        EXPECT_TRUE(rig.exchanges_closed());
        if (row.outcome == "Complete") expect_complete(rig, result);
    }
}

TEST(Transfer, RefusedStatusesLeaveTheBodyUnread) {
    for (std::uint32_t status : {404u, 416u, 500u}) {
        SCOPED_TRACE(status);
        TransferRig rig;
        rig.http.responses.push_back(ScriptedResponse::ok(status, "an error page"));
        rig.run();
        ASSERT_EQ(rig.http.requests.size(), 1u);
        EXPECT_EQ(rig.http.requests[0].reads, 0u);
    }
}

TEST(Transfer, RequestsTheInstallerAddressAnewForEveryAttempt) {
    TransferRig rig;
    rig.http.responses = {rig.short_answer(200, 0, 1'000), rig.answer(206, 1'000)};
    rig.run();
    ASSERT_EQ(rig.http.requests.size(), 2u);
    for (const auto& request : rig.http.requests) {
        EXPECT_EQ(request.host, "127.0.0.1");
        EXPECT_EQ(request.port, 8080);
        EXPECT_EQ(request.path, "/dl/Pelorin-2.1.0.exe");
    }
}

TEST(Transfer, AllBytesHeldAlreadyMakesNoRequest) {
    TransferRig rig;
    auto result = rig.run(rig.resume_with(rig.body));

    expect_complete(rig, result);
    EXPECT_TRUE(rig.http.requests.empty());
    EXPECT_EQ(count_of(rig.log, "reset_timer"), 1);
    EXPECT_EQ(rig.files.calls_of(FsOp::OpenOwn, PARTIAL).size(), 1u);  // the check's open, held throughout
    EXPECT_EQ(count_of(rig.log, "cancel?"), 0);                        // nothing left to cancel
}

TEST(Transfer, ServerIgnoringRangeStartsTheFileOverWithAFreshDigest) {
    TransferRig rig;
    rig.http.responses = {rig.answer(200), rig.answer(200)};
    auto result = rig.run(rig.resume_with(rig.body.substr(0, 1'000)));

    expect_complete(rig, result);
    EXPECT_EQ(rig.headers(), (Strings{"Range: bytes=1000-\r\n", ""}));
    EXPECT_EQ(rig.http.requests[0].reads, 0u);  // the whole file is not appended to the tail
    EXPECT_EQ(rig.files.calls_of(FsOp::Truncate, PARTIAL).back().size, 0u);  // emptied through its own handle
    EXPECT_TRUE(rig.clock.waits.empty());
    EXPECT_FALSE(rig.lines(2).empty());
    for (const auto& text : rig.lines(2)) EXPECT_EQ(text.find("Connection lost"), std::string::npos);
}

TEST(Transfer, BlockCrossingTheAnnouncedSizeIsNotWritten) {
    TransferRig rig;
    auto too_long = ScriptedResponse::ok(206, rig.body.substr(1'000) + "extra", 1'500);
    rig.http.responses = {too_long, rig.answer(206, 2'500)};

    auto result = rig.run(rig.resume_with(rig.body.substr(0, 1'000)));

    // 1000..2500 is written whole; the crossing 2500..3005 block is dropped and the rest asked again.
    expect_complete(rig, result);
    EXPECT_EQ(rig.headers(), (Strings{"Range: bytes=1000-\r\n", "Range: bytes=2500-\r\n"}));
    EXPECT_EQ(rig.lines(2).back(), "0 MB of 0 MB  \xC2\xB7  0.0 MB/s");
    EXPECT_EQ(rig.clock.waits, (std::vector<std::uint32_t>{2}));
}

TEST(Transfer, TooMuchDataEveryTimeEndsWithItsOwnMessage) {
    TransferRig rig;
    for (int i = 0; i < 8; ++i) rig.http.responses.push_back(ScriptedResponse::ok(200, rig.body + "x", 5'000));

    EXPECT_EQ(outcome_text(rig.run()), "The website sent more than expected.");
    EXPECT_EQ(rig.partial(), "");
}

TEST(Transfer, MisplacedPartialAnswerIsAppendedAndCaughtLaterByTheDigest) {
    TransferRig rig;
    rig.http.responses = {rig.answer(206, 0)};  // the site sent from 0 although 1000 was asked
    auto result = rig.run(rig.resume_with(rig.body.substr(0, 1'000)));

    // Two blocks fill the file to its size and the third crosses it; the bytes are the wrong ones.
    ASSERT_EQ(outcome_text(result), "Complete");
    EXPECT_EQ(rig.partial(), rig.body.substr(0, 1'000) + rig.body.substr(0, 2'000));
    EXPECT_NE(digest_text(result->digest), rig.release.sha256);
}

TEST(Transfer, CancelAfterSomeBlocksKeepsThemAndDropsTheBlockInHand) {
    TransferRig rig;
    int reads = 0;
    rig.http.before_each_read = [&] {
        if (++reads == 3) rig.cancel = true;  // pressed while the third block was on its way
    };
    rig.http.responses = {rig.answer(200)};

    EXPECT_EQ(outcome_text(rig.run()), "Cancelled");
    EXPECT_EQ(rig.partial(), rig.body.substr(0, 2'000));
    EXPECT_TRUE(rig.exchanges_closed());
    EXPECT_TRUE(rig.clock.waits.empty());
}

TEST(Transfer, CancelBeforeTheFirstAttemptMakesNoRequest) {
    TransferRig rig;
    rig.cancel = true;
    rig.http.responses = {rig.answer(200)};
    EXPECT_EQ(outcome_text(rig.run(rig.resume_with(rig.body.substr(0, 10)))), "Cancelled");
    EXPECT_TRUE(rig.http.requests.empty());
    EXPECT_EQ(rig.partial(), rig.body.substr(0, 10));
}

TEST(Transfer, CancelDuringAWaitTakesEffectBeforeTheNextRequest) {
    TransferRig rig;
    rig.clock.on_wait = [&](std::uint32_t) { rig.cancel = true; };
    rig.http.responses = {rig.dropped_answer(200, 0, 1'000), rig.answer(206, 1'000)};

    EXPECT_EQ(outcome_text(rig.run()), "Cancelled");
    EXPECT_EQ(rig.http.requests.size(), 1u);
    EXPECT_EQ(rig.clock.waits, (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(rig.partial(), rig.body.substr(0, 1'000));
}

// --- what is kept in the partial file when things go wrong ---

TEST(TransferFile, StaleBytesBeyondTheResumePointAreCutOff) {
    struct Row {
        const char* name;
        std::string on_disk;
        std::size_t taken_over;
    };
    const std::string body = pattern_bytes(3'000);
    const std::vector<Row> rows = {
        {"length unread, file kept", "left by someone else", 0},
        {"taken over in part", body.substr(0, 1'000) + "junk", 1'000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.files.add_file(PARTIAL, row.on_disk);
        PartialDownload resume{rig.own_partial(), row.taken_over, digest_of(rig.body.substr(0, row.taken_over))};
        rig.http.responses = {rig.answer(row.taken_over ? 206 : 200, row.taken_over)};

        expect_complete(rig, rig.run(std::move(resume)));
    }
}

TEST(TransferFile, CannotCutTheStaleTailEndsWithTheSaveMessage) {
    TransferRig rig;
    rig.files.add_file(PARTIAL, "stale");
    rig.files.fail_next(FsOp::Truncate, OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    rig.http.responses = {rig.answer(200)};

    EXPECT_EQ(outcome_text(rig.run()), "Could not save the download (Access denied. (os error 5)).");
    EXPECT_TRUE(rig.http.requests.empty());
}

TEST(TransferFile, WriteFailingPartWayLeavesTheFileAtTheCountedLength) {
    TransferRig rig;
    // Room for 1500 bytes: the second block is half written when the disk fills.
    rig.files.set_capacity(1'500);
    rig.files.set_write_limit(500);
    rig.clock.on_wait = [&](std::uint32_t) { rig.files.set_capacity(std::nullopt); };
    rig.http.responses = {rig.answer(200), rig.answer(206, 1'000)};

    auto result = rig.run();

    expect_complete(rig, result);
    EXPECT_EQ(rig.headers(), (Strings{"", "Range: bytes=1000-\r\n"}));
    EXPECT_EQ(rig.lines(2)[1], retry_line(1));
    // The half block was cut away before the tail was asked for.
    ASSERT_FALSE(rig.files.calls_of(FsOp::Truncate, PARTIAL).empty());
    EXPECT_EQ(rig.files.calls_of(FsOp::Truncate, PARTIAL).back().size, 1'000u);
}

TEST(TransferFile, CannotCutAfterAFailedWriteFailsThatAttemptAndRetries) {
    TransferRig rig;
    rig.files.set_capacity(1'500);
    rig.files.set_write_limit(500);
    rig.clock.on_wait = [&](std::uint32_t) { rig.files.set_capacity(std::nullopt); };
    // A new file needs no cut at the start; the first cut, after the failed write, fails.
    rig.files.fail({FsOp::Truncate, OsError::from_code(ERROR_CODE_ACCESS_DENIED), 1, PARTIAL, 0});
    rig.http.responses = {rig.answer(200), rig.answer(206, 1'000)};

    auto result = rig.run();

    expect_complete(rig, result);
    EXPECT_EQ(rig.http.requests.size(), 2u);  // the attempt that could not cut made no request
    EXPECT_EQ(rig.clock.waits, (std::vector<std::uint32_t>{2, 4}));
    EXPECT_EQ(rig.lines(2)[2], retry_line(2));
}

TEST(TransferFile, RestartThatCannotEmptyTheFileEndsWithTheSaveMessage) {
    TransferRig rig;
    PartialDownload resume = rig.resume_with(rig.body.substr(0, 1'000));
    rig.files.fail({FsOp::Truncate, OsError::from_code(ERROR_CODE_SHARING_VIOLATION), 1, PARTIAL});
    rig.http.responses = {rig.answer(200), rig.answer(200)};

    EXPECT_EQ(outcome_text(rig.run(std::move(resume))),
              "Could not save the download (Sharing violation. (os error 32)).");
    EXPECT_EQ(rig.http.requests.size(), 1u);
    EXPECT_TRUE(rig.clock.waits.empty());
}

TEST(TransferFile, FullDiskIsRetriedAndEndsAskingAboutTheDisk) {
    struct Row {
        const char* name;
        DiskFullMode mode;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"write refused", DiskFullMode::Error,
         "Could not save the download (Disk full. (os error 112)). Is the disk full?"},
        {"write took nothing", DiskFullMode::WriteZero,
         "Could not save the download (failed to write whole buffer). Is the disk full?"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        rig.files.set_capacity(1'000, row.mode);
        for (int i = 0; i < 8; ++i) rig.http.responses.push_back(rig.answer(206, 1'000));

        EXPECT_EQ(outcome_text(rig.run(rig.resume_with(rig.body.substr(0, 1'000)))), row.message);
        EXPECT_EQ(rig.clock.waits, (std::vector<std::uint32_t>{2, 4, 6, 8, 10, 10, 10}));
        EXPECT_EQ(rig.partial(), rig.body.substr(0, 1'000));
        EXPECT_EQ(rig.headers(), Strings(8, "Range: bytes=1000-\r\n"));
    }
}

// --- the progress line ---

TEST(TransferProgress, FirstBlockOfEveryAttemptShowsAtOnceLaterOnesAfterTheInterval) {
    TransferRig rig;
    rig.use_body(pattern_bytes(1'000'000));
    // No virtual time passes at all: only the first block of each attempt may show.
    rig.http.responses = {rig.short_answer(200, 0, 300'000, 100'000), rig.answer(206, 300'000, 100'000)};

    expect_complete(rig, rig.run());

    using Progress = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    EXPECT_EQ(progress_of(rig.log), (Progress{{100'000, 1'000'000}, {400'000, 1'000'000}}));
    EXPECT_EQ(rig.lines(2), (Strings{"0 MB of 1 MB  \xC2\xB7  0.2 MB/s", "0 MB of 1 MB  \xC2\xB7  0.8 MB/s"}));
}

TEST(TransferProgress, LaterBlocksShowOncePerInterval) {
    TransferRig rig;
    rig.use_body(pattern_bytes(1'000'000));
    rig.http.before_each_read = [&] { rig.clock.advance(100ms); };
    rig.http.responses = {rig.answer(200, 0, 100'000)};

    expect_complete(rig, rig.run());

    // Blocks arrive every 100 ms: the 1st at once, then the 4th, 7th and 10th.
    using Progress = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    EXPECT_EQ(progress_of(rig.log),
              (Progress{{100'000, 1'000'000}, {400'000, 1'000'000}, {700'000, 1'000'000}, {1'000'000, 1'000'000}}));
    // Speed over max(elapsed, 0.5 s): 0.1 MB in 0.1 s counts as 0.5 s; 0.7 MB in 0.7 s is 1.0.
    EXPECT_EQ(rig.lines(2), (Strings{"0 MB of 1 MB  \xC2\xB7  0.2 MB/s", "0 MB of 1 MB  \xC2\xB7  0.8 MB/s",
                                     "1 MB of 1 MB  \xC2\xB7  1.0 MB/s", "1 MB of 1 MB  \xC2\xB7  1.0 MB/s"}));
    // The bar and the line move together, bar first.
    auto first = std::find(rig.log.events.begin(), rig.log.events.end(), "set_progress 100000 1000000");
    ASSERT_NE(first, rig.log.events.end());
    EXPECT_EQ(*(first + 1), std::string("set_line 2 ") + "0 MB of 1 MB  \xC2\xB7  0.2 MB/s");
}

TEST(TransferProgress, SpeedCountsOnlyBytesFetchedInThisTransferWaitsIncluded) {
    TransferRig rig;
    rig.use_body(pattern_bytes(1'000'000));
    rig.http.before_each_read = [&] { rig.clock.advance(1s); };
    // Half the file was held from before; a drop after a quarter (2 s wait), then the rest.
    rig.http.responses = {rig.dropped_answer(206, 500'000, 750'000, 250'000), rig.answer(206, 750'000, 250'000)};

    expect_complete(rig, rig.run(rig.resume_with(rig.body.substr(0, 500'000))));

    // 0.25 MB after 1 s (a tie, shown as 0.2); then 0.5 MB after 1 + 1 (failed read) + 2 (wait) + 1 = 5 s.
    EXPECT_EQ(rig.lines(2),
              (Strings{"1 MB of 1 MB  \xC2\xB7  0.2 MB/s", retry_line(1), "1 MB of 1 MB  \xC2\xB7  0.1 MB/s"}));
}

TEST(TransferProgress, AfterARestartTheSpeedIsZeroUntilTheOldStartIsPassed) {
    TransferRig rig;
    rig.use_body(pattern_bytes(2'000'000));
    rig.http.before_each_read = [&] { rig.clock.advance(1s); };
    rig.http.responses = {rig.answer(200), rig.answer(200, 0, 250'000)};

    expect_complete(rig, rig.run(rig.resume_with(rig.body.substr(0, 1'500'000))));

    // One line per second; the first six stay at or below the 1.5 MB taken over at the start.
    const Strings lines = rig.lines(2);
    ASSERT_EQ(lines.size(), 8u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(lines[i].ends_with("  0.0 MB/s")) << lines[i];
    EXPECT_EQ(lines.back(), "2 MB of 2 MB  \xC2\xB7  0.1 MB/s");  // 0.5 MB over 8 s
}

TEST(TransferProgress, TextRoundsTheSpeedToOneDecimalTiesToEven) {
    struct Row {
        double speed;
        const char* text;
    };
    const std::vector<Row> rows = {
        {0.0, "0.0"},     {3.44, "3.4"},   {0.25, "0.2"},           {0.75, "0.8"},
        {1.25, "1.2"},    {0.35, "0.3"},  // 0.34999… in binary: a naive x10 rounding makes it 0.4
        {0.05, "0.1"},                    // 0.05000…03 in binary
        {99.95, "100.0"}, {12.96, "13.0"}, {123456.78, "123456.8"}, {-1.0, "0.0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.speed);
        EXPECT_EQ(one_decimal_text(row.speed), row.text);
    }
    EXPECT_EQ(transfer_progress_text(12'345'678, 85'000'000, 3.44), "12 MB of 85 MB  \xC2\xB7  3.4 MB/s");
}

TEST(TransferProgress, CancelIsAskedBeforeEachAttemptAndAfterEachBlock) {
    TransferRig rig;
    rig.http.responses = {rig.short_answer(200, 0, 2'000), rig.answer(206, 2'000)};
    rig.run();
    // Attempt 1: before, 2 blocks; attempt 2: before, 1 block. The empty reads are not blocks.
    EXPECT_EQ(count_of(rig.log, "cancel?"), 5);
}

}  // namespace
}  // namespace quarnet
