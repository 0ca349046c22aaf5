// The last step of a download: the byte count and digest decide, then the
// partial file gets its final name or is deleted.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "transfer/final_check.h"
#include "transfer/transfer_rig.h"

namespace quarnet {
namespace {

// A transfer that has brought every byte of the body into the partial file.
struct FinalCheckRig : TransferRig {
    FinalCheckRig() { files.add_file(PARTIAL, body); }
};

std::string text_of(const Result<std::string>& result) { return result ? "Ready " + *result : result.error().text(); }

const std::string DAMAGED = "The download was damaged on the way, so it was deleted.";

TEST(FinalCheck, SoundDownloadGetsTheInstallerNameReplacingAnOlderFile) {
    FinalCheckRig rig;
    rig.files.add_file(INSTALLER, "an older installer");

    EXPECT_EQ(text_of(rig.check_sound()), "Ready " + INSTALLER);
    EXPECT_EQ(rig.files.content(INSTALLER), rig.body);
    EXPECT_FALSE(rig.files.exists(PARTIAL));
    EXPECT_EQ(rig.log.events,
              (std::vector<std::string>{"set_progress 3000 3000", "set_line 2 Checking the download\xE2\x80\xA6"}));
    EXPECT_TRUE(rig.files.calls_of(FsOp::RenameByHandle).empty());
}

TEST(FinalCheck, DamagedDownloadIsDeleted) {
    struct Row {
        const char* name;
        std::uint64_t offset;
        std::string digested;
        bool read_only = false;
        bool deletion_refused = false;
    };
    const std::string body = pattern_bytes(3'000);
    std::string one_wrong = body;
    one_wrong[1'234] ^= 1;
    const std::vector<Row> rows = {
        {"one wrong byte", 3'000, one_wrong},
        {"short count, right bytes so far", 2'999, body.substr(0, 2'999)},
        {"digest over fewer bytes", 3'000, body.substr(0, 2'999)},
        {"read-only partial file", 3'000, one_wrong, true},
        {"partial file that cannot be deleted", 3'000, one_wrong, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FinalCheckRig rig;
        rig.hold_partial();
        if (row.read_only) rig.files.add_file(PARTIAL, rig.body, true);
        if (row.deletion_refused) rig.files.hold_open(PARTIAL, Sharing{true, true, false});

        EXPECT_EQ(text_of(rig.check(row.offset, row.digested)), DAMAGED);
        EXPECT_EQ(rig.files.exists(PARTIAL), row.deletion_refused);
        EXPECT_FALSE(rig.files.exists(INSTALLER));
        EXPECT_TRUE(rig.files.calls_of(FsOp::MoveReplacing).empty());
    }
}

TEST(FinalCheck, DigestTextMustMatchByteForByte) {
    FinalCheckRig rig;
    std::string upper = rig.release.sha256;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    rig.release.sha256 = upper;  // the list lowers it; here nothing is folded
    EXPECT_EQ(text_of(rig.check_sound()), DAMAGED);
}

TEST(FinalCheck, RefusedRenameTriesTheHandleWayOnlyAfterAccessDenied) {
    struct Row {
        const char* name;
        std::uint32_t move_error;
        std::optional<std::uint32_t> handle_error;  // nothing: the handle way succeeds
        std::string outcome;
        bool handle_way_tried;
    };
    const std::vector<Row> rows = {
        {"denied, handle way works", ERROR_CODE_ACCESS_DENIED, std::nullopt, "Ready " + INSTALLER, true},
        {"denied, handle way in use too", ERROR_CODE_ACCESS_DENIED, ERROR_CODE_SHARING_VIOLATION,
         "Could not save the download (Sharing violation. (os error 32)).", true},
        {"denied, handle way not offered", ERROR_CODE_ACCESS_DENIED, 87u,
         "Could not save the download (Access denied. (os error 5)).", true},
        {"in use", ERROR_CODE_SHARING_VIOLATION, std::nullopt,
         "Could not save the download (Sharing violation. (os error 32)).", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FinalCheckRig rig;
        rig.files.fail_next(FsOp::MoveReplacing, OsError::from_code(row.move_error), 1'000);
        if (row.handle_error) rig.files.fail_next(FsOp::RenameByHandle, OsError::from_code(*row.handle_error), 1'000);

        EXPECT_EQ(text_of(rig.check_sound()), row.outcome);
        EXPECT_EQ(rig.files.calls_of(FsOp::RenameByHandle).empty(), !row.handle_way_tried);
        const bool ready = row.outcome.starts_with("Ready");
        // A refused rename keeps the verified partial file for the next try.
        EXPECT_EQ(rig.files.content(ready ? INSTALLER : PARTIAL), rig.body);
        EXPECT_EQ(rig.files.exists(PARTIAL), !ready);
    }
}

TEST(FinalCheck, InstallerStillRunningKeepsTheVerifiedFileUntilARetry) {
    FinalCheckRig rig;
    rig.files.add_file(INSTALLER, "the older installer, running");
    rig.files.hold_open(INSTALLER, Sharing{true, false, false});

    EXPECT_EQ(text_of(rig.check_sound()), "Could not save the download (Access denied. (os error 5)).");
    EXPECT_EQ(rig.files.content(PARTIAL), rig.body);

    rig.files.release(INSTALLER);
    EXPECT_EQ(text_of(rig.check_sound()), "Ready " + INSTALLER);
    EXPECT_EQ(rig.files.content(INSTALLER), rig.body);
}

// The running digest vouches for the bytes as they arrived; the read-back through
// the held handle decides what is started.
TEST(FinalCheck, ReadBackRefusesWhatTheRunningDigestCannotSee) {
    struct Row {
        const char* name;
        std::function<void(FinalCheckRig&)> interfere;
    };
    const std::vector<Row> rows = {
        {"a second name", [](FinalCheckRig& rig) { rig.files.add_hard_link(PARTIAL, PARTIAL + ".other"); }},
        {"cut short on disk",
         [](FinalCheckRig& rig) {
             rig.hold_partial();
             ASSERT_TRUE(rig.held_partial->truncate(2'999));
         }},
        {"a link", [](FinalCheckRig& rig) { rig.files.add_link(PARTIAL, false); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FinalCheckRig rig;
        row.interfere(rig);
        EXPECT_EQ(text_of(rig.check_sound()), DAMAGED);
        EXPECT_FALSE(rig.files.exists(INSTALLER));
        EXPECT_FALSE(rig.files.exists(PARTIAL));
    }
}

}  // namespace
}  // namespace quarnet
