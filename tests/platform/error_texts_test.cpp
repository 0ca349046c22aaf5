#include <gtest/gtest.h>

#include "doubles/fake_error_texts.h"
#include "platform/error_texts.h"

namespace quarnet {
namespace {

using Lookup = FakeErrorTexts::Lookup;
using namespace std::string_literals;

TEST(WinHttpErrorCode, PositiveErrorsTakeTheWin32HresultForm) {
    struct Case {
        std::uint32_t last_error;
        std::uint32_t code;
    };
    const Case cases[] = {
        {0, 0},
        {12029, 0x80072EFD},       // ERROR_WINHTTP_CANNOT_CONNECT
        {0x7FFFFFFF, 0x8007FFFF},  // only the low 16 bits survive
        {0x00012EFD, 0x80072EFD},
        {0x80072EE2, 0x80072EE2},  // already an HRESULT: unchanged
        {0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const auto& c : cases) EXPECT_EQ(winhttp_error_code(c.last_error), c.code) << c.last_error;
}

// One system text, in the two forms a message takes it: a WinHTTP call's detail
// trims every kind of white space from both ends, a file error's text trims only
// TAB, LF, FF, CR and space from its end.
TEST(ErrorTexts, SystemTextAsADetailAndAsAFileErrorsText) {
    struct Case {
        const char* name;
        std::u16string system_text;
        std::string detail;
        std::string os_text;
    };
    const Case cases[] = {
        {"trailing CR LF", u"File not found.\r\n", " (File not found.)", "File not found. (os error 2)"},
        {"trailing control units", u"Gone.\t\n\v\f\r ", " (Gone.)", "Gone.\t\n\v (os error 2)"},
        {"leading white space", u"\u3000 Lost.", " (Lost.)", "\xE3\x80\x80 Lost. (os error 2)"},
        {"white space inside stays", u"No  route\u2003here.", " (No  route\u2003here.)",
         "No  route\xE2\x80\x83here. (os error 2)"},
        {"trailing Unicode white space", u"Lost.\u2028\u00A0", " (Lost.)", "Lost.\xE2\x80\xA8\xC2\xA0 (os error 2)"},
        {"only white space", u" \r\n\t", "", " (os error 2)"},
        {"empty", u"", "", " (os error 2)"},
        {"unpaired surrogate", u"Bad \xD800 text.\r\n", " (Bad \xEF\xBF\xBD text.)",
         "OS Error 2 (FormatMessageW() returned invalid UTF-16) (os error 2)"},
        {"ends at a NUL", u"Lost. \0\xDC00 more.\r\n"s, " (Lost.)", "Lost. (os error 2)"},
        {"not ASCII", u"Zeit\u00FCberschreitung.\r\n",
         " (Zeit\xC3\xBC"
         "berschreitung.)",
         "Zeit\xC3\xBC"
         "berschreitung. (os error 2)"},
    };
    for (const auto& c : cases) {
        FakeErrorTexts texts;
        texts.allocated[{0x80072EE2, MessageTable::System}] = c.system_text;
        texts.buffered[{2, MessageTable::System}] = c.system_text;
        EXPECT_EQ(error_detail(0x80072EE2, texts), c.detail) << c.name;
        EXPECT_EQ(os_error_text(OsError::from_code(2), texts), c.os_text) << c.name;
    }
}

TEST(ErrorDetail, CodeWithoutTextGivesNoDetail) {
    FakeErrorTexts texts;
    EXPECT_EQ("No connection to example.org" + error_detail(0x80072EFD, texts) + ".", "No connection to example.org.");
    EXPECT_EQ(texts.lookups, (std::vector<Lookup>{{true, 0x80072EFD, MessageTable::System}}));
}

TEST(ErrorDetail, CodeZeroIsLookedUpAsZero) {
    FakeErrorTexts texts;
    texts.allocated[{0, MessageTable::System}] = u"Success.\r\n";
    EXPECT_EQ("The download stopped" + error_detail(winhttp_error_code(0), texts) + ".",
              "The download stopped (Success.).");
}

TEST(ErrorDetail, NtBitSelectsNtdllTableWithTheBitCleared) {
    FakeErrorTexts texts;
    texts.allocated[{0xC0000022, MessageTable::System}] = u"wrong table";
    texts.allocated[{0xC0000022, MessageTable::Ntdll}] = u"Access denied.\r\n";
    EXPECT_EQ(error_detail(0xD0000022, texts), " (Access denied.)");
    EXPECT_EQ(texts.lookups, (std::vector<Lookup>{{true, 0xC0000022, MessageTable::Ntdll}}));
}

TEST(OsErrorText, NoSystemTextNamesFormatMessagesOwnError) {
    FakeErrorTexts texts;
    texts.format_error = 15100;
    EXPECT_EQ(os_error_text(OsError::from_code(112), texts),
              "OS Error 112 (FormatMessageW() returned error 15100) (os error 112)");
}

TEST(OsErrorText, CodesArePrintedAsSigned32Bit) {
    FakeErrorTexts texts;
    EXPECT_EQ(os_error_text(OsError::from_code(0x80070005), texts),
              "OS Error -2147024891 (FormatMessageW() returned error 317) (os error -2147024891)");
}

TEST(OsErrorText, NtBitUsesNtdllOnlyWhenItIsLoaded) {
    FakeErrorTexts texts;
    texts.buffered[{0xC0000022, MessageTable::Ntdll}] = u"{Access Denied}\r\n";
    texts.buffered[{0xD0000022, MessageTable::System}] = u"System's own.\r\n";

    texts.ntdll = true;
    EXPECT_EQ(os_error_text(OsError::from_code(0xD0000022), texts), "{Access Denied} (os error -805306334)");
    texts.ntdll = false;
    EXPECT_EQ(os_error_text(OsError::from_code(0xD0000022), texts), "System's own. (os error -805306334)");
    EXPECT_EQ(texts.lookups, (std::vector<Lookup>{{false, 0xC0000022, MessageTable::Ntdll},
                                                  {false, 0xD0000022, MessageTable::System}}));
}

TEST(OsErrorText, NtdllFallbackNamesTheCodeItLookedUp) {
    FakeErrorTexts texts;
    texts.ntdll = true;
    EXPECT_EQ(os_error_text(OsError::from_code(0xD0000022), texts),
              "OS Error -1073741790 (FormatMessageW() returned error 317) (os error -805306334)");
}

TEST(OsErrorText, ErrorsTheFileLayerFoundItself) {
    FakeErrorTexts texts;
    EXPECT_EQ("Could not save the download (" + os_error_text(OsError::write_zero(), texts) + "). Is the disk full?",
              "Could not save the download (failed to write whole buffer). Is the disk full?");
    EXPECT_EQ(os_error_text(OsError::interior_nul(), texts), "strings passed to WinAPI cannot contain NULs");
    EXPECT_TRUE(texts.lookups.empty());
}

TEST(OsErrorText, DiskFullMessageHasTwoClosingParentheses) {
    FakeErrorTexts texts;
    texts.buffered[{112, MessageTable::System}] = u"There is not enough space on the disk.\r\n";
    EXPECT_EQ("Could not save the download (" + os_error_text(OsError::from_code(112), texts) + "). Is the disk full?",
              "Could not save the download (There is not enough space on the disk. (os error 112)). Is the disk full?");
}

}  // namespace
}  // namespace quarnet
