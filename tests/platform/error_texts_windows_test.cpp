// The real FormatMessageW behind the failure texts, under Wine.

#include <gtest/gtest.h>

#include "platform/error_texts.h"
#include "platform/windows/windows_platform.h"

namespace quarnet {
namespace {

TEST(ErrorTextsWindows, FileErrorsReadAsTheSystemSaysThemWithTheCode) {
    auto texts = windows::make_error_texts();
    struct Case {
        std::uint32_t code;
        const char* text;
    };
    // Wine's own short texts; each comes with CR LF, which must not survive.
    const Case cases[] = {
        {2, "File not found. (os error 2)"},          {5, "Access denied. (os error 5)"},
        {32, "Sharing violation. (os error 32)"},     {112, "Disk full. (os error 112)"},
        {183, "File already exists. (os error 183)"},
    };
    for (const auto& c : cases) EXPECT_EQ(os_error_text(OsError::from_code(c.code), *texts), c.text) << c.code;
}

TEST(ErrorTextsWindows, UnknownCodeFallsBackToFormatMessagesOwnError) {
    auto texts = windows::make_error_texts();
    auto text = texts->buffer_text(0x2000FFFF, MessageTable::System);
    ASSERT_FALSE(text);
    EXPECT_NE(text.error(), 0u);
    EXPECT_EQ(os_error_text(OsError::from_code(0x2000FFFF), *texts),
              "OS Error 536936447 (FormatMessageW() returned error " + std::to_string(text.error()) +
                  ") (os error 536936447)");
}

TEST(ErrorTextsWindows, WinHttpCodeWithoutTextGivesNoDetail) {
    auto texts = windows::make_error_texts();
    EXPECT_EQ(error_detail(winhttp_error_code(12029), *texts), "");
}

TEST(ErrorTextsWindows, AllocatedTextIsWholeAndTrimmedOnlyByTheCaller) {
    auto texts = windows::make_error_texts();
    auto raw = texts->allocated_text(5, MessageTable::System);
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw, u"Access denied.\r\n");
    EXPECT_EQ(error_detail(5, *texts), " (Access denied.)");
}

TEST(ErrorTextsWindows, NtdllIsLoadedAndItsTableCanBeAsked) {
    auto texts = windows::make_error_texts();
    EXPECT_TRUE(texts->ntdll_loaded());
    // Whatever the table holds, asking it neither fails hard nor leaks the bit into the code.
    std::string detail = error_detail(0x10000005, *texts);
    EXPECT_TRUE(detail.empty() || (detail.starts_with(" (") && detail.ends_with(")"))) << detail;
}

}  // namespace
}  // namespace quarnet
