#include <gtest/gtest.h>

#include <deque>
#include <numeric>
#include <string>
#include <vector>

#include "doubles/fake_platform.h"
#include "driver/setup.h"
#include "platform/text.h"

namespace quarnet {
namespace {

using Events = std::vector<std::string>;

// The prompt may write its file into `files`; these tests look only at what is shown.
struct Harness : FakePlatform {
    Events journal;

    std::deque<SetupOutcome> outcomes;  // one per pass
    std::vector<HttpHandle> pass_sessions;

    Harness() {
        shell.journal = &journal;
        http.journal = &journal;
    }

    void run() {
        run_setup(platform, [this](WebSession& session, ProgressWindow& window, Platform& lent, auto&) -> SetupOutcome {
            EXPECT_EQ(&lent, &platform);
            // The pass gets the run's own, open services.
            EXPECT_TRUE(shell.dialogs.back().started);
            EXPECT_FALSE(shell.dialogs.back().stopped);
            EXPECT_EQ(&session.http(), &http);
            pass_sessions.push_back(session.handle());
            journal.push_back("pass");
            window.set_line(1, "pass " + std::to_string(pass_sessions.size()));
            if (outcomes.empty()) {
                ADD_FAILURE() << "more passes than scripted";
                return SetupCancelled{};
            }
            SetupOutcome outcome = std::move(outcomes.front());
            outcomes.pop_front();
            return outcome;
        });
        EXPECT_TRUE(http.requests.empty()) << "the run loop makes no requests itself";
    }

    // The installer as a pass hands it over: held open where it lies.
    Ready ready(const std::string& path) {
        if (!files.exists(path)) files.add_file(path, "MZ");
        return Ready{{path, std::move(files.open_held(path)->file)}};
    }

    std::vector<std::string> prompts() const {
        std::vector<std::string> shown;
        for (const auto& box : shell.message_boxes) shown.push_back(box.text.substr(0, box.text.find('\n')));
        return shown;
    }
};

struct RunLoop : ::testing::Test, Harness {};

const Events ONE_RUN_THEN = {
    "open_session 1", "set_timeouts 1",  "create_dialog", "pass", "dialog: set_line 1 pass 1",
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
    ASSERT_TRUE(http.timeouts);
    EXPECT_EQ(http.timeouts->resolve_ms, 30000);
    EXPECT_EQ(http.timeouts->connect_ms, 30000);
    EXPECT_EQ(http.timeouts->send_ms, 30000);
    EXPECT_EQ(http.timeouts->receive_ms, 60000);
}

TEST_F(RunLoop, SecondCopyOnlyShowsTheFirstAndAnAbandonedClaimCountsAsTaken) {
    for (auto claim :
         {InstanceClaim::Taken, InstanceClaim::Abandoned, InstanceClaim::Unavailable, InstanceClaim::Denied}) {
        Harness fresh;
        fresh.instance.answer = claim;
        fresh.outcomes.push_back(SetupCancelled{});
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

// Another program holds the name and no window of ours comes forward: the pass runs after a short wait.
TEST_F(RunLoop, NameHeldWithoutAWindowOfOursDoesNotSilenceTheProgram) {
    instance.answer = InstanceClaim::HeldElsewhere;
    instance.window_shown = false;
    outcomes.push_back(SetupCancelled{});
    run();
    EXPECT_EQ(pass_sessions.size(), 1u);
    EXPECT_EQ(clock.waits_ms, std::vector<std::uint32_t>(50, 100));  // 5 s of looking, on virtual time
    EXPECT_EQ(instance.brought_forward.size(), 51u);
}

TEST_F(RunLoop, CancelEndsSilently) {
    outcomes.push_back(SetupCancelled{});
    run();
    EXPECT_EQ(journal, one_run_then({}));
    EXPECT_TRUE(environment.reads.empty());  // the prompt never ran
}

TEST_F(RunLoop, FailureIsPromptedAndDecliningEnds) {
    outcomes.push_back(FailureMessage("The installer list on the website is incomplete."));
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
    EXPECT_NE(pass_sessions[0], pass_sessions[1]);
    ASSERT_EQ(shell.dialogs.size(), 2u);
    EXPECT_EQ(line(shell.dialogs[1], 1), "pass 2");
    EXPECT_EQ(shell.dialogs[1].lines.size(), 1u);
    EXPECT_EQ(http.open_handles(), 0);
}

TEST_F(RunLoop, RetryGoesOnUntilDeclined) {
    outcomes.push_back(FailureMessage("one"));
    outcomes.push_back(FailureMessage("two"));
    outcomes.push_back(FailureMessage("three"));
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
    EXPECT_EQ(journal, (Events{"com_init", "open_session failed", "message_box", "open_session 1", "set_timeouts 1",
                               "create_dialog", "pass", "dialog: set_line 1 pass 1", "dialog: stop", "dialog: release",
                               "close 1", "launch C:\\T\\a.exe"}));
    EXPECT_EQ(prompts(), std::vector<std::string>{"Windows could not open an internet connection."});
}

TEST(RunLoopWindow, ThatFailsToOpenIsReleasedBeforeTheSessionCloses) {
    struct Case {
        const char* name;
        bool fail_create, fail_title, fail_start;
        Events journal;
    };
    const Case cases[] = {
        {"no object",
         true,
         false,
         false,
         {"com_init", "open_session 1", "set_timeouts 1", "create_dialog", "close 1", "message_box"}},
        {"title refused",
         false,
         true,
         false,
         {"com_init", "open_session 1", "set_timeouts 1", "create_dialog", "dialog: release", "close 1",
          "message_box"}},
        {"start refused",
         false,
         false,
         true,
         {"com_init", "open_session 1", "set_timeouts 1", "create_dialog", "dialog: release", "close 1",
          "message_box"}},
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

// ShellExecuteExW's last errors (Wine shows only 2 and 193: tests/platform). A lock
// is waited out; every other refusal is an answer, and asking again would show the
// user the same prompt again.
TEST(LaunchInstaller, OnlyALockIsWaitedForAndEveryOtherRefusalAskedOnce) {
    struct Case {
        std::uint32_t error;
        const char* source;  // where Windows documents it
        std::size_t calls;
        std::uint32_t waited_ms;
    };
    const Case cases[] = {
        {1223, "ShellExecuteExW function: ERROR_CANCELLED, the user cancelled a prompt (elevation, SmartScreen)", 1, 0},
        {5, "ShellExecuteExW function: ERROR_ACCESS_DENIED", 1, 0},
        {225, "System Error Codes (0-499): ERROR_VIRUS_INFECTED", 1, 0},
        {226, "System Error Codes (0-499): ERROR_VIRUS_DELETED", 1, 0},
        {1260, "System Error Codes (1000-1299): ERROR_ACCESS_DISABLED_BY_POLICY", 1, 0},
        {32, "ShellExecuteExW function: ERROR_SHARING_VIOLATION", 3, 150},
        {33, "System Error Codes (0-499): ERROR_LOCK_VIOLATION, a scanner's lock", 3, 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        FakeShell shell;
        FakeClock clock;
        shell.launch_errors = {c.error, c.error, 0};
        EXPECT_EQ(launch_installer("C:\\T\\a.exe", shell, clock), c.calls == 3);
        EXPECT_EQ(shell.launched.size(), c.calls);
        EXPECT_EQ(std::accumulate(clock.waits_ms.begin(), clock.waits_ms.end(), 0u), c.waited_ms);
    }
}

// GetFinalPathNameByHandleW fails on a volume the mount manager has no letter for:
// 3 in "GetFinalPathNameByHandleW function (fileapi.h)"; 1 (ImDisk, OSFMount) and
// 1005 (WinFsp) as reported in rust-lang/rust#79449 and winfsp/winfsp#410.
TEST(LaunchInstaller, WithoutAFinalPathTheAskedPathIsStartedOnlyWhileItReachesTheHeldFile) {
    const std::string path = "R:\\Temp\\Quarnet-setup\\a.exe";
    for (std::uint32_t error : {1u, 1005u, 3u}) {
        for (bool replaced : {false, true}) {
            SCOPED_TRACE(std::to_string(error) + (replaced ? " replaced" : ""));
            Harness h;
            h.outcomes.push_back(h.ready(path));
            h.files.fail_next(FsOp::FinalPath, OsError::from_code(error));
            if (replaced) {
                h.files.move_tree("R:\\Temp\\Quarnet-setup", "R:\\Temp\\moved");
                h.files.add_file(path, "MZ another");
            }
            h.run();
            EXPECT_EQ(h.shell.launched, replaced ? std::vector<std::string>{} : std::vector{path});
            EXPECT_EQ(h.prompts().size(), replaced ? 1u : 0u);
        }
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
