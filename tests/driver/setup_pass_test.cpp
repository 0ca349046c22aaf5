// Whole runs through the real phases, against doubles of every platform service.

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "doubles/fake_platform.h"
#include "doubles/test_bytes.h"
#include "driver/setup_pass.h"
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
    EXPECT_EQ(count_of(shell.dialogs[0], "cancel?"), 0);
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
    shell.launch_errors = {2, 0};
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

// A file of ours that another program (a scanner) holds for a moment is waited for
// on virtual time, 10 s at most, Cancel heard; the room needed leaves out the part held.
TEST(SetupOnTheUsersMachine, FilesInUseAreWaitedForAndRoomIsCheckedFirst) {
    using Setup = std::function<void(FakePlatform&)>;
    auto fail = [](FsOp op, const std::string& path, std::uint32_t code, int times = 3) -> Setup {
        return [=](FakePlatform& p) { p.files.fail({op, OsError::from_code(code), times, path}); };
    };
    const Setup refused_starts = [](FakePlatform& p) { p.shell.launch_errors = {32, 33, 32}; };
    // Name, setup, the start of last-error.txt ("": launched, "-": cancelled), milliseconds waited.
    const std::tuple<const char*, Setup, std::string, std::uint32_t> rows[] = {
        {"rename", fail(FsOp::MoveReplacing, PARTIAL, 33), "", 350},
        {"read-back", fail(FsOp::OpenHeld, INSTALLER, 5), "", 350},
        {"start", refused_starts, "", 350},
        {"not in use", fail(FsOp::OpenOwn, PARTIAL, 87), "Could not save the download (OS Error 87", 0},
        {"held for good", fail(FsOp::OpenOwn, PARTIAL, 32, 99), "Could not read the earlier download (OS", 10'000},
        {"not ours", [](FakePlatform& p) { p.files.add_directory(PARTIAL); },
         "Could not save the download (OS Error 5 ", 0},
        {"cancelled",
         [&](FakePlatform& p) {
             fail(FsOp::OpenOwn, PARTIAL, 32, 99)(p);
             p.shell.cancel = [&p] { return p.clock.waits_ms.size() == 2; };
         },
         "-", 150},
        {"room for what the part lacks", [](FakePlatform& p) { p.files.set_capacity(3'000); }, "", 0},
    };
    const std::string body = pattern_bytes(3'000);
    for (const auto& [name, setup, failure, waited] : rows) {
        SCOPED_TRACE(name);
        FakePlatform p;
        p.environment.set("QUARNET_SETUP_URL", "http://127.0.0.1:8080/dl/");
        p.environment.set("QUARNET_SETUP_NO_DIALOG", "");
        p.files.add_file(PARTIAL, body.substr(0, 100));
        setup(p);
        p.http.responses = {ScriptedResponse::ok(200, R"({"file": "Pelorin-2.1.0.exe", "size": 3000, "sha256": ")" +
                                                          sha256_of(body) + "\"}"),
                            ScriptedResponse::ok(206, body.substr(100))};

        run_setup(p.platform);

        EXPECT_EQ(p.files.content(LAST_ERROR).value_or("-").substr(0, failure.size()), failure);
        EXPECT_EQ(p.shell.launched.empty(), !failure.empty());
        EXPECT_EQ(std::accumulate(p.clock.waits_ms.begin(), p.clock.waits_ms.end(), 0u), waited);
    }
}

}  // namespace
}  // namespace quarnet
