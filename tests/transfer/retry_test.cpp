// How many attempts a transfer makes, how long it waits between them, and what
// it says while it does.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/retry.h"
#include "transfer/transfer_rig.h"

namespace quarnet {
namespace {

using Strings = std::vector<std::string>;
using Waits = std::vector<std::uint32_t>;

bool mentions_lost_connection(const Strings& lines) {
    for (const auto& text : lines) {
        if (text.find("Connection lost") != std::string::npos) return true;
    }
    return false;
}

TEST(Backoff, GrowsByTwoSecondsUpToTen) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> rows = {{1, 2},  {2, 4},  {3, 6},  {4, 8},
                                                                       {5, 10}, {6, 10}, {7, 10}, {1000, 10}};
    for (auto [n, seconds] : rows) EXPECT_EQ(backoff_seconds(n), seconds) << n;
}

TEST(Retry, EightFailuresInARowEndWithTheEighthsOwnMessage) {
    TransferRig rig;
    for (int i = 0; i < 7; ++i) rig.http.responses.push_back(ScriptedResponse::failing_at(HttpStage::Send, 12029));
    rig.http.responses.push_back(rig.dropped_answer(200, 0, 1'000));
    rig.http.responses.push_back(rig.answer(200));  // never asked for

    EXPECT_EQ(outcome_text(rig.run()), "The download stopped.");
    EXPECT_EQ(rig.clock.waits, (Waits{2, 4, 6, 8, 10, 10, 10}));
    EXPECT_EQ(rig.http.requests.size(), 8u);
    Strings expected;
    for (int n = 1; n <= 7; ++n) expected.push_back(retry_line(n));
    expected.push_back("0 MB of 0 MB  \xC2\xB7  0.0 MB/s");  // the eighth brought a block, then dropped
    EXPECT_EQ(rig.lines(2), expected);
}

TEST(Retry, EachRetryLineComesBeforeItsWait) {
    TransferRig rig;
    std::vector<std::string> seen_at_wait;
    rig.clock.on_wait = [&](std::uint32_t) { seen_at_wait.push_back(line(rig.log, 2)); };
    rig.http.responses = {ScriptedResponse::failing_at(HttpStage::Connect),
                          ScriptedResponse::failing_at(HttpStage::Open), rig.answer(200)};

    EXPECT_EQ(outcome_text(rig.run()), "Complete");
    EXPECT_EQ(seen_at_wait, (Strings{retry_line(1), retry_line(2)}));
}

TEST(Retry, BodiesEndingEarlyAreCountedWithoutWaitOrText) {
    struct Row {
        const char* name;
        std::size_t bytes_each;  // brought by each attempt before its body ends
    };
    for (const auto& row : {Row{"empty bodies", 0}, Row{"short bodies", 100}}) {
        SCOPED_TRACE(row.name);
        TransferRig rig;
        for (std::size_t i = 0; i < 9; ++i) {
            const std::size_t from = i * row.bytes_each;
            rig.http.responses.push_back(rig.short_answer(from == 0 ? 200 : 206, from, from + row.bytes_each));
        }

        EXPECT_EQ(outcome_text(rig.run()), "The connection kept dropping.");
        EXPECT_TRUE(rig.clock.waits.empty());
        EXPECT_EQ(rig.http.requests.size(), 8u);
        EXPECT_FALSE(mentions_lost_connection(rig.lines(2)));
        if (row.bytes_each == 0) {
            EXPECT_EQ(count_of(rig.log, "set_line"), 0);
        }
        EXPECT_EQ(rig.partial(), rig.body.substr(0, 8 * row.bytes_each));
    }
}

TEST(Retry, RestartsAndEarlyEndsAlternateAndShareTheLimit) {
    TransferRig rig;
    // A site that ignores Range and whose every body breaks off after 500 bytes.
    for (int i = 0; i < 9; ++i) rig.http.responses.push_back(rig.short_answer(200, 0, 500));

    EXPECT_EQ(outcome_text(rig.run()), "The connection kept dropping.");
    Strings expected;
    for (int i = 0; i < 4; ++i) {
        expected.push_back("");
        expected.push_back("Range: bytes=500-\r\n");
    }
    EXPECT_EQ(rig.headers(), expected);
    EXPECT_TRUE(rig.clock.waits.empty());
    EXPECT_EQ(rig.partial(), "");  // the last attempt was a restart
}

TEST(Retry, FailureAfterTwoEarlyEndsCountsThird) {
    TransferRig rig;
    rig.http.responses = {rig.short_answer(200, 0, 500), rig.short_answer(206, 500, 1'000),
                          ScriptedResponse::failing_at(HttpStage::Receive, 12002), rig.answer(206, 1'000)};

    EXPECT_EQ(outcome_text(rig.run()), "Complete");
    EXPECT_EQ(rig.clock.waits, (Waits{6}));
    EXPECT_TRUE(mentions_lost_connection(rig.lines(2)));
    EXPECT_EQ(line(rig.log, 2).find("Connection lost"), std::string::npos);  // progress shown afterwards
    EXPECT_EQ(rig.lines(2)[2], retry_line(3));
}

TEST(Retry, AttemptsThatBringBytesDoNotLowerTheCount) {
    TransferRig rig;
    for (std::size_t i = 0; i < 8; ++i)
        rig.http.responses.push_back(rig.dropped_answer(i ? 206 : 200, i * 100, i * 100 + 100, 100));

    EXPECT_EQ(outcome_text(rig.run()), "The download stopped.");
    EXPECT_EQ(rig.partial(), rig.body.substr(0, 800));
    EXPECT_EQ(rig.clock.waits.size(), 7u);
    EXPECT_EQ(rig.headers().back(), "Range: bytes=700-\r\n");
}

TEST(Retry, CountingStopsAtTheLimitWithoutTouchingTheWindow) {
    TransferRig rig;
    TransferState state;
    state.attempts = RETRY_LIMIT - 1;
    auto last = retry_failed_attempt(rig.context, state, FailureMessage("The download stopped."));

    EXPECT_EQ(last, failure("The download stopped."));
    EXPECT_EQ(state.attempts, RETRY_LIMIT);
    EXPECT_EQ(count_of(rig.log, "set_line"), 0);
    EXPECT_TRUE(rig.clock.waits.empty());
}

}  // namespace
}  // namespace quarnet
