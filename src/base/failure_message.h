#pragma once
// The one form of every failure: a complete English text, ready to show.

#include <cstdint>
#include <expected>
#include <string>
#include <utility>

#include "platform/error_texts.h"
#include "platform/os_error.h"

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

// The last error of a failed WinHTTP call in HRESULT form: positive values
// become 0x8007xxxx, 0 stays 0, anything else is used unchanged.
std::uint32_t winhttp_error_code(std::uint32_t last_error);

// Empty, or " (" + the system's text for the code + ")".
std::string error_detail(std::uint32_t code, ErrorTexts& texts);

// The system's text + " (os error N)", or the fixed text of an error the file
// layer met itself.
std::string os_error_text(const OsError& error, ErrorTexts& texts);

}  // namespace quarnet
