#include <gtest/gtest.h>

#include "platform/text.h"

namespace quarnet {
namespace {

TEST(Text, Utf8ToUtf16AndBack) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"Pelorin setup", u"Pelorin setup"},
        {"Connection lost \xE2\x80\x93 trying again\xE2\x80\xA6", u"Connection lost \u2013 trying again\u2026"},
        {"12 MB  \xC2\xB7  3.4 MB/s", u"12 MB  \u00B7  3.4 MB/s"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_utf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(to_utf8_lossy(c.utf16), c.utf8);
        EXPECT_EQ(to_utf8_strict(c.utf16), c.utf8);
    }
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(to_utf16("a\xFF"
                       "b"),
              u"a\uFFFDb");
    EXPECT_EQ(to_utf16("\xC0\x80"), u"\uFFFD\uFFFD");            // overlong NUL
    EXPECT_EQ(to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(to_utf16("\xE2\x80"), u"\uFFFD\uFFFD");            // cut short
}

TEST(Text, UnpairedSurrogates) {
    const std::u16string lone_high = u"a\xD800z";
    const std::u16string lone_low = u"\xDC00";
    EXPECT_EQ(to_utf8_lossy(lone_high), "a\xEF\xBF\xBDz");
    EXPECT_EQ(to_utf8_lossy(lone_low), "\xEF\xBF\xBD");
    EXPECT_EQ(to_utf8_strict(lone_high), std::nullopt);
    EXPECT_EQ(to_utf8_strict(lone_low), std::nullopt);
}

TEST(Text, PathWithNulIsRefusedNotCut) {
    using namespace std::string_literals;
    EXPECT_EQ(to_utf16_path("C:\\Temp\\Setup.exe"), u"C:\\Temp\\Setup.exe");
    auto refused = to_utf16_path("Setup\0.exe"s);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), OsError::interior_nul());
}

}  // namespace
}  // namespace quarnet
