#include <gtest/gtest.h>

#include <string>

#include "base/product.h"
#include "doubles/fake_platform.h"
#include "driver/failure_prompt.h"

namespace quarnet {
namespace {

const std::string WORK_FOLDER = std::string(FakeFileSystem::DEFAULT_TEMP_DIRECTORY) + "Quarnet-setup";
const std::string LAST_ERROR = WORK_FOLDER + "\\last-error.txt";

const std::string DISK_FULL = "Could not save the download (Disk full. (os error 112)). Is the disk full?";

struct FailurePrompt : ::testing::Test, FakePlatform {
    bool prompt(const std::string& message) { return show_failure_prompt(FailureMessage(message), platform); }
};

TEST_F(FailurePrompt, AsksWithTheMessageAndTheGuideAndLeavesOnlyTheMessageInTheFile) {
    shell.answers = {4};
    EXPECT_TRUE(prompt(DISK_FULL));

    ASSERT_EQ(shell.message_boxes.size(), 1u);
    EXPECT_EQ(shell.message_boxes[0].text,
              DISK_FULL +
                  "\n\nPress Retry to try again (the download continues where it stopped).\n\n"
                  "On a slow or unsteady connection you can also get the full installer from " +
                  std::string(PRODUCT_WEB_HOST) + "/setup-guide/");
    EXPECT_EQ(shell.message_boxes[0].caption, "Pelorin setup");
    EXPECT_EQ(shell.message_boxes[0].type, 0x10035u);
    EXPECT_EQ(files.content(LAST_ERROR), DISK_FULL);
}

TEST_F(FailurePrompt, OnlyRetryAsksForAnotherRun) {
    struct Case {
        int answer;
        bool retry;
    };
    // IDOK, IDCANCEL (also the close button and Esc), IDABORT, IDRETRY, and a failed call.
    const Case cases[] = {{1, false}, {2, false}, {3, false}, {4, true}, {0, false}};
    for (const auto& c : cases) {
        shell.answers = {c.answer};
        EXPECT_EQ(prompt("Windows did not start the installer."), c.retry) << c.answer;
    }
}

TEST_F(FailurePrompt, NoDialogVariableSilencesTheQuestionWhateverItsValue) {
    struct Case {
        const char* name;
        void (*define)(FakeEnvironment&);
    };
    const Case cases[] = {
        {"a value", [](FakeEnvironment& e) { e.set("QUARNET_SETUP_NO_DIALOG", "1"); }},
        {"empty", [](FakeEnvironment& e) { e.set("QUARNET_SETUP_NO_DIALOG", ""); }},
        {"not Unicode", [](FakeEnvironment& e) { e.set_not_unicode("QUARNET_SETUP_NO_DIALOG"); }},
    };
    for (const auto& c : cases) {
        FakeEnvironment env;
        FakeFileSystem fs;
        FakeShell sh;
        sh.answers = {4};
        Platform p{env, texts, fs, http, sh, clock, instance};
        c.define(env);
        EXPECT_FALSE(show_failure_prompt(FailureMessage("Windows could not open an internet connection."), p))
            << c.name;
        EXPECT_TRUE(sh.message_boxes.empty()) << c.name;
        EXPECT_EQ(fs.content(LAST_ERROR), "Windows could not open an internet connection.") << c.name;
    }
}

TEST_F(FailurePrompt, FileIsReplacedNotAppendedTo) {
    files.add_file(LAST_ERROR, "The installer list on the website is incomplete. And much more besides.");
    prompt("first");
    prompt("second");
    EXPECT_EQ(files.content(LAST_ERROR), "second");
}

TEST_F(FailurePrompt, FileWithASecondNameIsMadeAfreshNotWrittenThrough) {
    files.add_file(WORK_FOLDER + "\\notes.txt", "precious");
    files.add_hard_link(WORK_FOLDER + "\\notes.txt", LAST_ERROR);
    prompt("first");
    EXPECT_EQ(files.content(WORK_FOLDER + "\\notes.txt"), "precious");
    EXPECT_EQ(files.content(LAST_ERROR), "first");
}

TEST_F(FailurePrompt, TextOutsideAsciiIsWrittenAsUtf8WithoutMark) {
    const std::string message =
        "No connection to example.org (Zeit\xC3\xBC"
        "berschreitung \xE2\x80\x93 1.).";
    prompt(message);
    EXPECT_EQ(files.content(LAST_ERROR), message);
}

TEST_F(FailurePrompt, WorkFolderIsMadeEvenWhenThePassNeverReachedIt) {
    ASSERT_FALSE(files.exists(WORK_FOLDER));
    prompt("Windows could not open an internet connection.");
    EXPECT_TRUE(files.is_directory(WORK_FOLDER));
    EXPECT_EQ(files.content(LAST_ERROR), "Windows could not open an internet connection.");
}

TEST_F(FailurePrompt, FileTroubleNeverHidesTheQuestion) {
    struct Case {
        const char* name;
        void (*arrange)(FakeFileSystem&);
        std::optional<std::string> content;
    };
    const Case cases[] = {
        {"no temporary directory",
         [](FakeFileSystem& f) { f.set_temp_directory_error(OsError::from_code(ERROR_CODE_ACCESS_DENIED)); },
         std::nullopt},
        {"folder cannot be made",
         [](FakeFileSystem& f) { f.fail_next(FsOp::CreateDirectory, OsError::from_code(ERROR_CODE_ACCESS_DENIED)); },
         std::nullopt},
        {"file cannot be opened",
         [](FakeFileSystem& f) { f.fail_next(FsOp::OpenEmptied, OsError::from_code(ERROR_CODE_SHARING_VIOLATION)); },
         std::nullopt},
        {"write fails", [](FakeFileSystem& f) { f.fail_next(FsOp::Write, OsError::from_code(ERROR_CODE_DISK_FULL)); },
         ""},
        {"write accepts nothing", [](FakeFileSystem& f) { f.set_capacity(5, DiskFullMode::WriteZero); }, "Could"},
        {"interrupted write is repeated",
         [](FakeFileSystem& f) { f.fail_next(FsOp::Write, OsError::from_code(10004)); }, DISK_FULL},
        {"short writes go on with the rest", [](FakeFileSystem& f) { f.set_write_limit(7); }, DISK_FULL},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        FakeShell sh;
        sh.answers = {4};
        Platform p{environment, texts, fs, http, sh, clock, instance};
        c.arrange(fs);
        EXPECT_TRUE(show_failure_prompt(FailureMessage(DISK_FULL), p)) << c.name;
        ASSERT_EQ(sh.message_boxes.size(), 1u) << c.name;
        EXPECT_TRUE(sh.message_boxes[0].text.starts_with(DISK_FULL + "\n\n")) << c.name;
        EXPECT_EQ(fs.content(LAST_ERROR), c.content) << c.name;
    }
}

}  // namespace
}  // namespace quarnet
