// The texts a signed list is made of, each read by its own rule.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "list/base64.h"
#include "list/utc_time.h"
#include "list/version.h"

namespace quarnet {
namespace {

TEST(Base64, PaddedStandardAlphabetOnlyAndEveryUnusedBitZero) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"", ""},     {"YQ==", "a"},      {"YWI=", "ab"}, {"YWJj", "abc"}, {"+/+/", "\xfb\xff\xbf"},
        {"YQ", {}},   {"YWJj\nYWJj", {}}, {"-_-_", {}},   {"YR==", {}},    {"YWJ=", {}},
        {"Y===", {}}, {"YQ==YWJj", {}},   {"YW=j", {}},   {"YWJj ", {}},
    };
    for (const auto& [text, bytes] : cases) EXPECT_EQ(decode_base64(text), bytes) << text;
}

TEST(UtcTime, OnlyRealTimesInTheOneShape) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2026-06-01T00:00:00Z", 1'780'272'000},
        {"2028-02-29T23:59:59Z", 1'835'481'599},
        {"2026-02-29T00:00:00Z", {}},  // not a leap year
        {"2100-02-29T00:00:00Z", {}},  // nor is this one
        {"2026-07-01T24:00:00Z", {}},
        {"2026-06-31T00:00:00Z", {}},
        {"2026-13-01T00:00:00Z", {}},
        {"2026-06-10T00:00:00+00:00", {}},  // UTC, but not in that shape
        {"2026-06-10T00:00:00z", {}},
        {"2026-06-10 00:00:00Z", {}},
    };
    for (const auto& [text, seconds] : cases) EXPECT_EQ(utc_time_of(text), seconds) << text;
}

TEST(Version, OneToFourNumbersOfOneToNineDigits) {
    const std::pair<const char*, std::optional<Version>> cases[] = {
        {"4", Version{4, 0, 0, 0}},
        {"4.2", Version{4, 2, 0, 0}},
        {"1.02.3.999999999", Version{1, 2, 3, 999'999'999}},
        {"4.2.0.0.1", {}},
        {"1234567890", {}},
        {"v4.2", {}},
        {"4.2 ", {}},
        {"4,2", {}},
        {"4..2", {}},
        {".4", {}},
        {"4.", {}},
        {"", {}},
        {"10 beta", {}},
    };
    for (const auto& [text, version] : cases) EXPECT_EQ(read_version(text), version) << text;
}

}  // namespace
}  // namespace quarnet
