#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "doubles/fake_platform.h"
#include "driver/launch.h"
#include "driver/run.h"
#include "platform/text.h"

namespace quarnet {
namespace {

using Events = std::vector<std::string>;

// The prompt may write its file into `files`; these tests look only at what is shown.
struct Harness : FakePlatform {
    Events journal;

    std::deque<SetupOutcome> outcomes;  // one per pass
    std::vector<const WebSession*> pass_sessions;

    Harness() {
        shell.journal = &journal;
        http.journal = &journal;
    }

    void run() {
        run_setup(platform, [this](WebSession& session, ProgressWindow& window, Platform& lent, auto&) -> SetupOutcome {
            EXPECT_EQ(&lent, &platform);
            // The pass gets the run's own, open services.
            EXPECT_TRUE(shell.dialogs.back().started);
            EXPECT_EQ(count_of(shell.dialogs.back(), "stop"), 0);
            EXPECT_EQ(&session.http(), &http);
            pass_sessions.push_back(&session);
            journal.push_back("pass");
            window.set_line(1, "pass " + std::to_string(pass_sessions.size()));
            if (outcomes.empty()) {
                ADD_FAILURE() << "more passes than scripted";
                return cancelled();
            }
            SetupOutcome outcome = std::move(outcomes.front());
            outcomes.pop_front();
            return outcome;
        });
        EXPECT_TRUE(http.requests.empty()) << "the run loop makes no requests itself";
    }

    // The installer as a pass hands it over: held open where it lies.
    HeldInstaller ready(const std::string& path) {
        if (!files.exists(path)) files.add_file(path, "MZ");
        return HeldInstaller{path, std::move(files.open_held(path)->file)};
    }

    std::vector<std::string> prompts() const {
        std::vector<std::string> shown;
        for (const auto& box : shell.message_boxes) shown.push_back(box.text.substr(0, box.text.find('\n')));
        return shown;
    }
};

struct RunLoop : ::testing::Test, Harness {};

const Events ONE_RUN_THEN = {
    "open_session 1", "create_dialog",   "pass",    "dialog: set_line 1 pass 1",
    "dialog: stop",   "dialog: release", "close 1",
};

Events one_run_then(std::initializer_list<std::string> rest) {
    Events events = {"com_init"};
    events.insert(events.end(), ONE_RUN_THEN.begin(), ONE_RUN_THEN.end());
    events.insert(events.end(), rest);
    return events;
}

TEST_F(RunLoop, ReadyInstallerIsLaunchedAfterEverythingIsPutAway) {
    outcomes.push_back(ready("C:\\Temp\\Quarnet-setup\\Pelorin-2.1.exe"));
    run();
    EXPECT_EQ(journal, one_run_then({"launch C:\\Temp\\Quarnet-setup\\Pelorin-2.1.exe"}));
    EXPECT_TRUE(shell.message_boxes.empty());
    EXPECT_EQ(http.user_agent, u"Quarnet-Setup/0.1.0");
}

TEST_F(RunLoop, SecondCopyOnlyShowsTheFirstAndAnAbandonedClaimCountsAsTaken) {
    for (auto claim :
         {InstanceClaim::Taken, InstanceClaim::Abandoned, InstanceClaim::Unavailable, InstanceClaim::Denied}) {
        Harness fresh;
        fresh.instance.answer = claim;
        fresh.outcomes.push_back(cancelled());
        fresh.run();
        EXPECT_EQ(fresh.pass_sessions.size(), 1u);
        EXPECT_TRUE(fresh.instance.brought_forward.empty());
    }
    instance.answer = InstanceClaim::HeldElsewhere;
    run();
    EXPECT_TRUE(journal.empty());  // no session, no window, no COM
    EXPECT_TRUE(shell.message_boxes.empty());
    EXPECT_TRUE(files.calls().empty());  // nor last-error.txt
    EXPECT_EQ(instance.brought_forward, std::vector<std::string>{"Pelorin setup"});
}

TEST_F(RunLoop, CancelEndsSilently) {
    outcomes.push_back(cancelled());
    run();
    EXPECT_EQ(journal, one_run_then({}));
    EXPECT_TRUE(environment.reads.empty());  // the prompt never ran
}

TEST_F(RunLoop, FailureIsPromptedAndDecliningEnds) {
    outcomes.push_back(failure("The installer list on the website is incomplete."));
    shell.answers = {2};
    run();
    EXPECT_EQ(journal, one_run_then({"message_box"}));
    EXPECT_EQ(prompts(), std::vector<std::string>{"The installer list on the website is incomplete."});
}

TEST_F(RunLoop, RefusedLaunchIsAFailureAndRetryRunsAWholeNewPass) {
    outcomes.push_back(ready("C:\\T\\a.exe"));
    outcomes.push_back(ready("C:\\T\\a.exe"));
    shell.launch_errors = {1223, 0};  // the elevation declined, then granted
    shell.answers = {4};
    run();
    EXPECT_EQ(prompts(), std::vector<std::string>{"Windows did not start the installer."});
    EXPECT_EQ(shell.launched, (std::vector<std::string>{"C:\\T\\a.exe", "C:\\T\\a.exe"}));
    EXPECT_EQ(shell.com_inits, 1);
    // A new session and a new window for the second run; the first run's lines are gone with its window.
    ASSERT_EQ(pass_sessions.size(), 2u);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "open_session 2"), 1);
    ASSERT_EQ(shell.dialogs.size(), 2u);
    EXPECT_EQ(line(shell.dialogs[1], 1), "pass 2");
    EXPECT_EQ(count_of(shell.dialogs[1], "set_line"), 1);
    EXPECT_EQ(http.open_handles(), 0);
}

TEST_F(RunLoop, RetryGoesOnUntilDeclined) {
    outcomes.push_back(failure("one"));
    outcomes.push_back(failure("two"));
    outcomes.push_back(failure("three"));
    shell.answers = {4, 4, 0};  // a failing message box counts as Cancel
    run();
    EXPECT_EQ(prompts(), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(shell.dialogs.size(), 3u);
    EXPECT_EQ(http.open_handles(), 0);
    EXPECT_TRUE(outcomes.empty());
}

TEST_F(RunLoop, NoInternetConnectionShowsNoWindow) {
    http.session_failures = {true, false};
    shell.answers = {4};
    outcomes.push_back(ready("C:\\T\\a.exe"));
    run();
    EXPECT_EQ(journal, (Events{"com_init", "open_session failed", "message_box", "open_session 1", "create_dialog",
                               "pass", "dialog: set_line 1 pass 1", "dialog: stop", "dialog: release", "close 1",
                               "launch C:\\T\\a.exe"}));
    EXPECT_EQ(prompts(), std::vector<std::string>{"Windows could not open an internet connection."});
}

TEST(RunLoopWindow, ThatFailsToOpenIsReleasedBeforeTheSessionCloses) {
    struct Case {
        const char* name;
        bool fail_create, fail_title, fail_start;
        Events journal;
    };
    const Case cases[] = {
        {"no object", true, false, false, {"com_init", "open_session 1", "create_dialog", "close 1", "message_box"}},
        {"title refused",
         false,
         true,
         false,
         {"com_init", "open_session 1", "create_dialog", "dialog: release", "close 1", "message_box"}},
        {"start refused",
         false,
         false,
         true,
         {"com_init", "open_session 1", "create_dialog", "dialog: release", "close 1", "message_box"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.shell.fail_create = c.fail_create;
        h.shell.fail_set_title = c.fail_title;
        h.shell.fail_start = c.fail_start;
        h.run();  // no pass is scripted: running one fails the test
        EXPECT_EQ(h.journal, c.journal) << c.name;
        EXPECT_EQ(h.prompts(), std::vector<std::string>{"Windows could not show the progress window."}) << c.name;
        EXPECT_EQ(h.http.open_handles(), 0) << c.name;
    }
}

// ShellExecuteExW's last errors: 1223 (a prompt the user cancelled: elevation, SmartScreen),
// 5 and 32 as "ShellExecuteExW function (shellapi.h)" lists them; 225 and 226 (virus verdicts),
// 1260 (a policy) and 33 (a lock) as "System Error Codes" names them. Only a lock is waited for.
TEST(LaunchInstaller, OnlyALockIsWaitedForAndEveryOtherRefusalAskedOnce) {
    for (std::uint32_t error : {1223u, 5u, 225u, 226u, 1260u, 32u, 33u}) {
        FakeShell shell;
        FakeClock clock;
        shell.launch_errors = {error, error, 0};
        const bool lock = error == 32 || error == 33;
        EXPECT_EQ(launch_installer("C:\\T\\a.exe", shell, clock), lock) << error;
        EXPECT_EQ(shell.launched.size(), lock ? 3u : 1u) << error;
    }
}

// GetFinalPathNameByHandleW fails where the mount manager knows no letter: 3 in its page
// ("GetFinalPathNameByHandleW function (fileapi.h)"), 1 (ImDisk, OSFMount) and 1005 (WinFsp)
// in rust-lang/rust#79449 and winfsp/winfsp#410. Last, another file stands at the asked path.
TEST(LaunchInstaller, WithoutAFinalPathTheAskedPathIsStartedOnlyWhileItReachesTheHeldFile) {
    const std::string path = "R:\\Temp\\Quarnet-setup\\a.exe";
    for (std::uint32_t error : {1u, 1005u, 3u, 0u}) {
        Harness h;
        h.outcomes.push_back(h.ready(path));
        h.files.fail_next(FsOp::FinalPath, OsError::from_code(error != 0 ? error : 3));
        if (error == 0) h.files.move_tree("R:\\Temp\\Quarnet-setup", "R:\\Temp\\moved"), h.files.add_file(path, "MZ");
        h.run();
        EXPECT_EQ(h.shell.launched, std::vector<std::string>(error != 0 ? 1 : 0, path)) << error;
    }
}

TEST(LaunchInstaller, FinalPathInTheFormTheShellTakesOrNone) {
    EXPECT_EQ(shell_path("\\\\?\\UNC\\srv\\share\\a.exe"), "\\\\srv\\share\\a.exe");
    EXPECT_EQ(shell_path("\\\\?\\C:\\T.\\a.exe"), std::nullopt);  // the dot would be dropped
}

TEST(LaunchInstaller, PathIsPassedExactlyAndANulIsNeverPassed) {
    using namespace std::string_literals;
    FakeShell shell;
    FakeClock clock;
    const std::string path = "C:\\Users\\J\xC3\xBCrgen\\Temp\\Quarnet-setup\\Pelorin \xE2\x80\x93 2.1.exe";
    EXPECT_TRUE(launch_installer(path, shell, clock));
    EXPECT_FALSE(launch_installer("C:\\T\\a.exe\0.txt"s, shell, clock));
    EXPECT_EQ(shell.launched, std::vector<std::string>{path});
}

}  // namespace
}  // namespace quarnet
