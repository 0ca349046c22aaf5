#pragma once
// The shell as the tests see it: every progress dialog call, launch and message
// box recorded once, in UTF-8, with scripted answers.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/progress_dialog.h"
#include "platform/shell.h"

namespace quarnet {

// What one progress dialog was asked to do.
struct ProgressLog {
    std::function<bool()> cancel;  // answers HasUserCancelled; false when empty
    bool started = false;
    std::string title;
    // Every later call, in order: "set_line 2 <text>", "set_progress <a> <b>",
    // "reset_timer", "cancel?", "stop", "release".
    std::vector<std::string> events;
    // When set, each event is also appended here as "dialog: <event>", to order it against other doubles.
    std::vector<std::string>* journal = nullptr;
};

// The texts line `n` was given, in order.
std::vector<std::string> lines_of(const ProgressLog& log, std::uint32_t n);
// The last text of line `n`, "" when it was never set.
std::string line(const ProgressLog& log, std::uint32_t n);
// Every (completed, total) passed to the dialog, in order.
std::vector<std::pair<std::uint64_t, std::uint64_t>> progress_of(const ProgressLog& log);
// How many events begin with `prefix` ("cancel?", "set_line", ...).
int count_of(const ProgressLog& log, std::string_view prefix);

class FakeProgressDialog : public ProgressDialog {
public:
    explicit FakeProgressDialog(ProgressLog& log) : log_(log) {}
    ~FakeProgressDialog() override;

    bool fail_set_title = false;
    bool fail_start = false;

    bool set_title(const std::u16string& title) override;
    bool start() override;
    void set_line(std::uint32_t line, const std::u16string& text) override;
    void set_progress(std::uint64_t completed, std::uint64_t total) override;
    void reset_timer() override;
    bool has_user_cancelled() override;
    void stop() override;

private:
    void record(std::string event);
    ProgressLog& log_;
};

class FakeShell : public Shell {
public:
    struct MessageBoxCall {
        std::string text;
        std::string caption;
        std::uint32_t type = 0;
    };

    int com_inits = 0;

    // One log per dialog made, in order; a deque keeps references valid.
    std::deque<ProgressLog> dialogs;
    bool fail_create = false;     // CoCreateInstance fails: no object
    bool fail_set_title = false;  // passed on to every dialog made
    bool fail_start = false;
    // Applied to each dialog made (its `cancel`).
    std::function<bool()> cancel;

    std::vector<std::string> launched;        // UTF-8 paths given to ShellExecuteExW
    std::deque<std::uint32_t> launch_errors;  // its last error, taken in order; 0 (started) when empty
    // Runs inside each launch, while Windows would be opening the file (and asking for elevation).
    std::function<void(const std::string& path)> during_launch;

    std::vector<MessageBoxCall> message_boxes;
    std::deque<int> answers;  // taken in order; 2 (IDCANCEL) when empty

    // When set: "com_init", "create_dialog", "dialog: ...", "launch <path>", "message_box".
    std::vector<std::string>* journal = nullptr;

    void initialize_com() override;
    std::unique_ptr<ProgressDialog> create_progress_dialog() override;
    OsResult<void> shell_execute_open(const std::u16string& path) override;
    int message_box(const std::u16string& text, const std::u16string& caption, std::uint32_t type) override;

private:
    void record(std::string event);
};

}  // namespace quarnet
