#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "doubles/fake_clock.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "doubles/fake_shell.h"
#include "doubles/test_bytes.h"
#include "store/earlier_download.h"
#include "store/file_writes.h"

namespace quarnet {
namespace {

constexpr const char* WORK = "C:\\Temp\\Quarnet-setup";
const std::string CONTENT = "the whole installer";  // 19 bytes
const std::string CHECKING_COPY = "Checking the copy downloaded before\xE2\x80\xA6";
const std::string CHECKING_PARTIAL = "Checking what was downloaded before\xE2\x80\xA6";

class EarlierDownloadTest : public ::testing::Test {
protected:
    EarlierDownloadTest() {
        files.add_directory(WORK);
        texts.buffered[{ERROR_CODE_SHARING_VIOLATION, MessageTable::System}] = u"Sharing violation.\r\n";
    }

    Result<EarlierDownload> check(FakeFileSystem& in, ProgressWindow& shown) {
        return check_earlier_download(release, WorkFolder{WORK, in.held_folder(WORK)}, download_paths("Setup.exe"),
                                      shown, texts, clock);
    }
    Result<EarlierDownload> check() { return check(files, window); }

    static bool resumes(const Result<EarlierDownload>& outcome) {
        return outcome && std::holds_alternative<PartialDownload>(*outcome);
    }
    PartialDownload resumed() {
        auto outcome = check();
        if (!resumes(outcome)) {
            ADD_FAILURE() << "not a partial download";
            return {};
        }
        return std::move(std::get<PartialDownload>(*outcome));
    }

    std::size_t reads_of(const std::string& path) { return files.calls_of(FsOp::OpenHeld, path).size(); }

    Release release{"2.4.1", "Setup.exe", sha256_of(CONTENT), CONTENT.size()};
    DownloadPaths paths{std::string(WORK) + "\\Setup.exe", std::string(WORK) + "\\Setup.exe.part"};  // in full
    FakeFileSystem files;
    FakeErrorTexts texts;
    FakeClock clock;
    ProgressLog log;
    ProgressWindow window{std::make_unique<FakeProgressDialog>(log)};
};

TEST_F(EarlierDownloadTest, VerifiedCompleteCopyIsReusedAndThePartialFileIgnored) {
    files.add_file(paths.installer, CONTENT);
    files.add_file(paths.partial, "the whole");
    auto outcome = check();
    ASSERT_TRUE(outcome && std::holds_alternative<HeldInstaller>(*outcome));
    EXPECT_EQ(std::get<HeldInstaller>(*outcome).path, paths.installer);
    EXPECT_EQ(line(log, 2), CHECKING_COPY);
    EXPECT_EQ(files.content(paths.installer), CONTENT);
    EXPECT_EQ(files.content(paths.partial), "the whole");
    EXPECT_TRUE(files.calls_of(FsOp::EntryInfo, paths.partial).empty());
    EXPECT_TRUE(files.calls_of(FsOp::OpenOwn, paths.partial).empty());
}

TEST_F(EarlierDownloadTest, CompleteCopiesThatDoNotVerifyAreDeleted) {
    struct Case {
        const char* what;
        std::string content;
        bool read_only;
        std::optional<Sharing> held;
        std::size_t opened;  // how often the copy was opened for hashing
    };
    const Case cases[] = {
        {"other digest", "the whole installeR", false, {}, 1},
        {"other digest, read-only", "the whole installeR", true, {}, 1},
        {"shorter", "the whole", false, {}, 0},
        {"longer", CONTENT + "!", false, {}, 0},
        {"cannot be read", CONTENT, false, Sharing{false, true, true}, 15},  // tried again for 10 s
    };
    for (const auto& c : cases) {
        FakeFileSystem fresh;
        fresh.add_file(paths.installer, c.content, c.read_only);
        if (c.held) fresh.hold_open(paths.installer, *c.held);
        ProgressLog fresh_log;
        ProgressWindow fresh_window(std::make_unique<FakeProgressDialog>(fresh_log));
        auto outcome = check(fresh, fresh_window);
        ASSERT_TRUE(resumes(outcome)) << c.what;
        EXPECT_EQ(std::get<PartialDownload>(*outcome).offset, 0u) << c.what;
        EXPECT_FALSE(fresh.exists(paths.installer)) << c.what;
        EXPECT_EQ(line(fresh_log, 2), CHECKING_COPY) << c.what;
        EXPECT_EQ(fresh.calls_of(FsOp::OpenHeld, paths.installer).size(), c.opened) << c.what;
    }
}

TEST_F(EarlierDownloadTest, WrongCopyDeletedThenThePartialFileResumes) {
    files.add_file(paths.installer, "the whole installeR");
    files.add_file(paths.partial, "the whole");
    auto point = resumed();
    EXPECT_FALSE(files.exists(paths.installer));
    EXPECT_EQ(point.offset, 9u);
    EXPECT_EQ(digest_text(point.digest), sha256_of("the whole"));
    EXPECT_EQ(line(log, 2), CHECKING_PARTIAL);
}

TEST_F(EarlierDownloadTest, FolderAtTheInstallerPathIsLeftAlone) {
    files.add_directory(paths.installer);
    auto point = resumed();
    EXPECT_EQ(point.offset, 0u);
    EXPECT_TRUE(files.is_directory(paths.installer));
    EXPECT_TRUE(files.calls_of(FsOp::Delete).empty());
    EXPECT_EQ(reads_of(paths.installer), 0u);
    EXPECT_EQ(count_of(log, "set_line"), 0) << "line 2 set";
}

TEST_F(EarlierDownloadTest, PartialFileByLength) {
    struct Case {
        const char* what;
        std::optional<std::string> partial;
        std::uint64_t offset;
        bool stays;
        std::string line2;
    };
    const Case cases[] = {
        {"no partial file", std::nullopt, 0, true, ""},  // made for the transfer
        {"empty", "", 0, true, ""},
        {"one byte", "t", 1, true, CHECKING_PARTIAL},
        {"exactly the size", CONTENT, CONTENT.size(), true, CHECKING_PARTIAL},
        {"one byte too long", CONTENT + "x", 0, true, ""},  // the transfer cuts it back
    };
    for (const auto& c : cases) {
        FakeFileSystem fresh;
        fresh.add_directory(WORK);
        if (c.partial) fresh.add_file(paths.partial, *c.partial);
        ProgressLog fresh_log;
        ProgressWindow fresh_window(std::make_unique<FakeProgressDialog>(fresh_log));
        auto outcome = check(fresh, fresh_window);
        ASSERT_TRUE(resumes(outcome)) << c.what;
        auto& point = std::get<PartialDownload>(*outcome);
        EXPECT_EQ(point.offset, c.offset) << c.what;
        std::string_view covered = c.partial ? std::string_view(*c.partial).substr(0, c.offset) : "";
        EXPECT_EQ(digest_text(point.digest), sha256_of(covered)) << c.what;
        EXPECT_EQ(fresh.exists(paths.partial), c.stays) << c.what;
        EXPECT_EQ(line(fresh_log, 2), c.line2) << c.what;
        EXPECT_EQ(fresh.read_sizes(paths.partial).empty(), c.line2.empty()) << c.what;
    }
}

TEST_F(EarlierDownloadTest, PartialFileHeldWithoutReadSharingFails) {
    files.add_file(paths.partial, "the whole");
    files.hold_open(paths.partial, Sharing{false, true, true});
    auto outcome = check();
    EXPECT_EQ(outcome, failure("Could not read the earlier download (Sharing violation. (os error 32))."));
    EXPECT_EQ(files.content(paths.partial), "the whole");
}

TEST_F(EarlierDownloadTest, PartialFileHeldForWritingCannotBeSavedTo) {
    files.add_file(paths.partial, CONTENT + "xx");
    files.hold_open(paths.partial, Sharing{true, true, false});
    auto outcome = check();
    EXPECT_EQ(outcome, failure("Could not save the download (Sharing violation. (os error 32))."));
}

// One whose DACL shuts us out is deleted and made anew, once; one that cannot be deleted fails the pass.
TEST_F(EarlierDownloadTest, PartialFileShutToUsIsTakenBackOnce) {
    files.add_file(paths.partial, "the whole");
    const auto denied = OsError::from_code(ERROR_CODE_ACCESS_DENIED);
    files.fail_next(FsOp::OpenOwn, denied);
    EXPECT_TRUE(resumes(check()));  // deleted and made anew
    EXPECT_EQ(files.content(paths.partial), "");
    files.fail_next(FsOp::OpenOwn, denied, 1'000);
    files.fail_next(FsOp::Delete, denied, 1'000);
    auto refused = check();
    EXPECT_TRUE(!refused && !refused.error().is_cancel());  // not ours to delete: the usual message
}

// Read-only is no stranger's DACL: the attribute goes, the bytes stay and are resumed after.
TEST_F(EarlierDownloadTest, ReadOnlyPartialFileIsResumedNotDeleted) {
    files.add_file(paths.partial, "the whole", /*read_only=*/true);
    EXPECT_EQ(resumed().offset, 9u);
    EXPECT_FALSE(files.is_read_only(paths.partial));
    EXPECT_TRUE(files.calls_of(FsOp::Delete).empty());
}

// What was hashed is what the transfer appends to: nobody shortens or swaps it in between.
TEST_F(EarlierDownloadTest, PartialFileStaysHeldForTheTransfer) {
    files.add_file(paths.partial, "the whole");
    files.add_file(paths.installer + ".other", "");
    auto point = resumed();
    EXPECT_TRUE(files.open_for_reading(paths.partial));
    EXPECT_FALSE(files.open_for_appending(paths.partial));
    EXPECT_FALSE(files.delete_file(paths.partial));
    EXPECT_FALSE(files.move_replacing(paths.installer + ".other", paths.partial));
    ASSERT_TRUE(write_all(*point.file, std::as_bytes(std::span(std::string_view(" installer")))));
    EXPECT_EQ(files.content(paths.partial), CONTENT);
}

}  // namespace
}  // namespace quarnet
