// Whole runs through the real phases, against doubles of every platform service.

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "doubles/fake_platform.h"
#include "doubles/test_bytes.h"
#include "driver/setup.h"
#include "store/digest.h"
#include "web/http_exchange.h"

namespace quarnet {
namespace {

const std::string WORK = std::string(FakeFileSystem::DEFAULT_TEMP_DIRECTORY) + "Quarnet-setup";
const std::string INSTALLER = WORK + "\\Pelorin-2.1.0.exe";
const std::string PARTIAL = INSTALLER + ".part";
const std::string LAST_ERROR = WORK + "\\last-error.txt";

struct SetupRun : ::testing::Test, FakePlatform {
    const std::string body = pattern_bytes(3'000);

    SetupRun() { environment.set("QUARNET_SETUP_URL", "http://127.0.0.1:8080/dl/"); }

    ScriptedResponse list_response() const {
        return ScriptedResponse::ok(200, R"({"version": "2.1.0", "file": "Pelorin-2.1.0.exe", "size": )" +
                                             std::to_string(body.size()) + R"(, "sha256": ")" + sha256_of(body) +
                                             "\"}");
    }
    ScriptedResponse installer_response() const { return ScriptedResponse::ok(200, body, 1'000); }

    std::vector<std::string> request_paths() const {
        std::vector<std::string> paths;
        for (const auto& request : http.requests) paths.push_back(request.path);
        return paths;
    }
};

// A whole new set of doubles, for one row of a table.
struct FreshRun : SetupRun {
    void TestBody() override {}
};

TEST_F(SetupRun, FreshDownloadIsVerifiedRenamedAndLaunched) {
    files.add_file(LAST_ERROR, "an earlier failure");
    files.add_file(WORK + "\\Pelorin-2.0.exe", "an older installer");
    http.responses = {list_response(), installer_response()};

    run_setup(platform);

    EXPECT_EQ(request_paths(), (std::vector<std::string>{"/dl/latest.json", "/dl/Pelorin-2.1.0.exe"}));
    EXPECT_EQ(http.requests[1].headers, NO_CACHE_HEADERS);
    EXPECT_EQ(files.content(INSTALLER), body);
    EXPECT_FALSE(files.exists(PARTIAL));
    EXPECT_EQ(files.names_in(WORK), std::vector<std::string>{"Pelorin-2.1.0.exe"});  // the sweep took the rest
    EXPECT_EQ(shell.launched, std::vector<std::string>{INSTALLER});
    EXPECT_TRUE(shell.message_boxes.empty());
    ASSERT_EQ(shell.dialogs.size(), 1u);
    EXPECT_EQ(line(shell.dialogs[0], 1), "Downloading Pelorin 2.1.0 (0 MB)");
    EXPECT_EQ(line(shell.dialogs[0], 2), "Checking the download\xE2\x80\xA6");
    EXPECT_EQ(shell.dialogs[0].events.back(), "release");
    EXPECT_EQ(http.open_handles(), 0);
    EXPECT_EQ(http.bad_closes, 0);
}

TEST_F(SetupRun, InstallerCannotBeReplacedWhileTheLaunchWaitsAndIsLetGoAfterIt) {
    shell.during_launch = [&](const std::string& path) {
        files.add_file(WORK + "\\evil.exe", "another program");
        EXPECT_FALSE(files.open_emptied(path));
        EXPECT_FALSE(files.delete_file(path));
        EXPECT_FALSE(files.move_replacing(WORK + "\\evil.exe", path));
        EXPECT_FALSE(files.move_replacing(WORK, WORK + "-moved"));  // nor its folder
    };
    http.responses = {list_response(), installer_response()};

    run_setup(platform);

    ASSERT_EQ(shell.launched, std::vector<std::string>{INSTALLER});
    EXPECT_EQ(files.content(INSTALLER), body);
    EXPECT_TRUE(files.delete_file(INSTALLER));
}

TEST_F(SetupRun, VerifiedEarlierCopyIsLaunchedWithoutDownloadAndInSpiteOfCancel) {
    files.add_file(INSTALLER, body);
    shell.cancel = [] { return true; };
    http.responses = {list_response()};

    run_setup(platform);

    EXPECT_EQ(request_paths(), std::vector<std::string>{"/dl/latest.json"});
    EXPECT_EQ(shell.launched, std::vector<std::string>{INSTALLER});
    EXPECT_EQ(shell.dialogs[0].cancel_polls, 0);
}

TEST_F(SetupRun, ListFailureIsLeftInTheFileWithoutADialogAndTheFolderUnswept) {
    environment.set("QUARNET_SETUP_NO_DIALOG", "");
    files.add_file(WORK + "\\keep-me.txt", "not swept: the pass never reached the folder");
    http.responses = {ScriptedResponse::ok(404, "Not here")};

    run_setup(platform);

    EXPECT_EQ(files.content(LAST_ERROR), "The website did not give the installer list (HTTP 404).");
    EXPECT_TRUE(files.exists(WORK + "\\keep-me.txt"));
    EXPECT_TRUE(shell.message_boxes.empty());
    EXPECT_TRUE(shell.launched.empty());
    ASSERT_EQ(shell.dialogs.size(), 1u);
    EXPECT_EQ(line(shell.dialogs[0], 1), "Finding the newest Pelorin\xE2\x80\xA6");
    EXPECT_EQ(line(shell.dialogs[0], 2), "");
}

TEST_F(SetupRun, RefusedLaunchThenRetryFindsTheVerifiedInstallerAgain) {
    shell.launch_results = {2, 33};
    shell.answers = {4};
    http.responses = {list_response(), installer_response(), list_response()};

    run_setup(platform);

    EXPECT_EQ(request_paths(),
              (std::vector<std::string>{"/dl/latest.json", "/dl/Pelorin-2.1.0.exe", "/dl/latest.json"}));
    ASSERT_EQ(shell.message_boxes.size(), 1u);
    EXPECT_TRUE(shell.message_boxes[0].text.starts_with("Windows did not start the installer.\n\n"));
    EXPECT_EQ(shell.launched, (std::vector<std::string>{INSTALLER, INSTALLER}));
    EXPECT_EQ(shell.dialogs.size(), 2u);
    // The second pass swept the first one's message away.
    EXPECT_FALSE(files.exists(LAST_ERROR));
}

TEST_F(SetupRun, CancelWhileWaitingForAFileInUseEndsTheRunSilently) {
    files.add_file(INSTALLER, body);
    files.fail({FsOp::OpenHeld, OsError::from_code(32), 99, INSTALLER});
    shell.cancel = [&] { return clock.short_waits.size() >= 2; };
    http.responses = {list_response()};

    run_setup(platform);

    EXPECT_EQ(clock.short_waits, (std::vector<std::uint32_t>{50, 100}));
    EXPECT_TRUE(shell.launched.empty());
    EXPECT_TRUE(shell.message_boxes.empty());
    EXPECT_EQ(files.content(INSTALLER), body);  // left for a later run
}

TEST_F(SetupRun, RoomForWhatIsStillToComeIsCheckedBeforeTheInstallerRequest) {
    struct Row {
        const char* name;
        std::optional<std::string> partial;
        std::uint64_t capacity;
        bool room;
    };
    const std::vector<Row> rows = {
        {"nothing held", std::nullopt, 2'999, false},
        {"part held, one byte short", body.substr(0, 100), 2'999, false},
        {"part held", body.substr(0, 100), 3'000, true},
        {"too long a part, cut away first", std::string(3'001, 'x'), 3'001, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshRun run;
        run.environment.set("QUARNET_SETUP_NO_DIALOG", "");
        run.texts.buffered[{ERROR_CODE_DISK_FULL, MessageTable::System}] = u"Disk full.";
        if (row.partial) run.files.add_file(PARTIAL, *row.partial);
        run.files.set_capacity(row.capacity);
        const bool resumed = row.partial && row.partial->size() < body.size();
        run.http.responses = {list_response(),
                              resumed ? ScriptedResponse::ok(206, body.substr(100)) : installer_response()};

        run_setup(run.platform);

        EXPECT_EQ(run.files.content(LAST_ERROR).value_or(""),
                  row.room ? "" : "Could not save the download (Disk full. (os error 112)). Is the disk full?");
        EXPECT_EQ(run.http.requests.size(), row.room ? 2u : 1u);
    }
}

// Another program (a scanner) holds one of the program's own files for a moment:
// the call is tried again on virtual time, for ten seconds at most.
TEST_F(SetupRun, OwnFilesInUseAreWaitedForUpToTenSeconds) {
    struct Row {
        const char* name;
        FsOp op;
        std::string path;
        std::uint32_t error;
        int times;
        std::string last_error;  // empty: launched
        std::uint32_t waited;    // milliseconds in all
        std::function<void(SetupRun&)> setup = {};
    };
    const std::string held = "Could not read the earlier download (Sharing violation. (os error 32)).";
    const std::vector<Row> rows = {
        {"earlier copy", FsOp::OpenHeld, INSTALLER, 32, 3, "", 350,
         [](SetupRun& r) { r.files.add_file(INSTALLER, r.body); }},
        {"earlier part", FsOp::OpenOwn, PARTIAL, 33, 3, "", 350},
        {"rename", FsOp::MoveReplacing, PARTIAL, 32, 3, "", 350},
        {"read-back", FsOp::OpenHeld, INSTALLER, 5, 3, "", 350},
        {"start", FsOp::OpenOwn, PARTIAL, 0, 0, "", 350,
         [](SetupRun& r) {
             r.shell.launch_results = {26, 5, 26};
         }},
        {"not in use", FsOp::OpenOwn, PARTIAL, 87, 1, "Could not save the download (Invalid parameter. (os error 87)).",
         0},
        {"held for good", FsOp::OpenOwn, PARTIAL, 32, 99, held, 10'000},
        {"a folder, not ours", FsOp::OpenOwn, PARTIAL, 0, 0,
         "Could not save the download (Access denied. (os error 5)).", 0,
         [](SetupRun& r) { r.files.add_directory(PARTIAL); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshRun run;
        run.environment.set("QUARNET_SETUP_NO_DIALOG", "");
        run.texts.buffered[{5, MessageTable::System}] = u"Access denied.";
        run.texts.buffered[{32, MessageTable::System}] = u"Sharing violation.";
        run.texts.buffered[{87, MessageTable::System}] = u"Invalid parameter.";
        run.files.add_file(PARTIAL, run.body.substr(0, 100));
        if (row.setup) row.setup(run);
        run.files.fail({row.op, OsError::from_code(row.error), row.times, row.path});
        run.http.responses = {run.list_response(), ScriptedResponse::ok(206, run.body.substr(100))};

        run_setup(run.platform);

        EXPECT_EQ(run.files.content(LAST_ERROR).value_or(""), row.last_error);
        EXPECT_EQ(run.shell.launched.empty(), !row.last_error.empty());
        EXPECT_EQ(std::accumulate(run.clock.short_waits.begin(), run.clock.short_waits.end(), 0u), row.waited);
        EXPECT_EQ(run.http.requests.size(),
                  row.last_error.empty() && row.name != std::string("earlier copy") ? 2u : 1u);
    }
}

}  // namespace
}  // namespace quarnet
