// Whole runs through the real phases, against doubles of every platform service.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_platform.h"
#include "doubles/test_bytes.h"
#include "driver/setup.h"
#include "store/digest.h"

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
    EXPECT_EQ(http.requests[1].headers, "");
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

}  // namespace
}  // namespace quarnet
