#include <gtest/gtest.h>

#include <limits>

#include "doubles/fake_shell.h"
#include "progress/progress_window.h"

namespace quarnet {
namespace {

TEST(SizeText, WholeMegabytesTiesToEven) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 MB"},
        {499'999, "0 MB"},
        {500'000, "0 MB"},
        {500'001, "1 MB"},
        {1'500'000, "2 MB"},
        {2'500'000, "2 MB"},
        {3'500'000, "4 MB"},
        {1'099'511'627'777'499'999, "1099511627777 MB"},  // just below a half, where a double would round up
        {85'000'000, "85 MB"},
        {1'234'567'890'123, "1234568 MB"},
        {std::numeric_limits<std::uint64_t>::max(), "18446744073710 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(size_text(c.bytes), c.text) << c.bytes;
}

TEST(ProgressWindow, OpenTitlesAndStartsTheDialog) {
    FakeShell shell;
    auto window = ProgressWindow::open(shell);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(shell.dialogs.size(), 1u);
    EXPECT_EQ(shell.dialogs[0].title, "Pelorin setup");
    EXPECT_TRUE(shell.dialogs[0].started);
    EXPECT_TRUE(shell.dialogs[0].events.empty());
}

TEST(ProgressWindow, FailedOpenReleasesWhatWasMade) {
    struct Case {
        const char* name;
        bool fail_create, fail_title, fail_start;
        std::size_t dialogs;
    };
    const Case cases[] = {
        {"no object", true, false, false, 0},
        {"title refused", false, true, false, 1},
        {"start refused", false, false, true, 1},
    };
    for (const auto& c : cases) {
        FakeShell shell;
        shell.fail_create = c.fail_create;
        shell.fail_set_title = c.fail_title;
        shell.fail_start = c.fail_start;
        EXPECT_EQ(ProgressWindow::open(shell), nullptr) << c.name;
        ASSERT_EQ(shell.dialogs.size(), c.dialogs) << c.name;
        if (c.dialogs == 1) {
            // Never started, so never stopped: only released.
            EXPECT_EQ(shell.dialogs[0].events, std::vector<std::string>{"release"}) << c.name;
        }
    }
}

TEST(ProgressWindow, AZeroTotalIsPassedAsOneAndClosingStopsThenReleases) {
    ProgressLog log;
    {
        ProgressWindow window(std::make_unique<FakeProgressDialog>(log));
        window.set_progress(5, 0);  // a total of 0 would leave the bar undefined
        EXPECT_EQ(count_of(log, "stop"), 0);
    }
    EXPECT_EQ(log.events, (std::vector<std::string>{"set_progress 5 1", "stop", "release"}));
}

}  // namespace
}  // namespace quarnet
