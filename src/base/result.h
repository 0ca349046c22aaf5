#pragma once
// What a step gives: its value, or why it has none: the FailureMessage of what
// failed, or the user's Cancel.

#include <string>
#include <utility>

#include "base/expected.h"

namespace quarnet {

// The one form of every failure: a complete English text, ready to show.
class FailureMessage {
public:
    explicit FailureMessage(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    friend bool operator==(const FailureMessage&, const FailureMessage&) = default;

private:
    std::string text_;
};

// Why a step gave no value: a failure with its message, or the user's Cancel,
// which ends the program without a word.
class Failure {
public:
    Failure(FailureMessage message) : message_(std::move(message)) {}  // NOLINT: every message is a failure
    static Failure cancel() { return Failure(); }

    bool is_cancel() const { return cancel_; }
    // The message to show; empty for a cancel.
    const FailureMessage& message() const { return message_; }
    const std::string& text() const { return message_.text(); }
    friend bool operator==(const Failure&, const Failure&) = default;

private:
    Failure() : message_(std::string()), cancel_(true) {}
    FailureMessage message_;
    bool cancel_ = false;
};

// A value or the Failure that stopped it; a dropped one is a compile warning.
template <class T>
using Result = Expected<T, Failure>;

[[gnu::noinline]] inline std::unexpected<Failure> failure(FailureMessage message) {
    return std::unexpected(Failure(std::move(message)));
}
[[gnu::noinline]] inline std::unexpected<Failure> failure(std::string text) {
    return failure(FailureMessage(std::move(text)));
}
inline std::unexpected<Failure> cancelled() { return std::unexpected(Failure::cancel()); }

}  // namespace quarnet
