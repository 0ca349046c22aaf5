#pragma once
// The one form of every failure: a complete English text, ready to show.

#include <string>
#include <utility>

#include "base/expected.h"

namespace quarnet {

class FailureMessage {
public:
    explicit FailureMessage(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    friend bool operator==(const FailureMessage&, const FailureMessage&) = default;

private:
    std::string text_;
};

// A value or the FailureMessage of the step that failed; a dropped one is a compile warning.
template <class T>
using Result = Expected<T, FailureMessage>;

inline std::unexpected<FailureMessage> failure(std::string text) {
    return std::unexpected(FailureMessage(std::move(text)));
}

}  // namespace quarnet
