#include "list/utc_time.h"

#include <array>

namespace quarnet {
namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = year / 400;  // years from 0 to 9999 only
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

}  // namespace

std::optional<std::int64_t> utc_time_of(std::string_view text) {
    constexpr std::string_view SHAPE = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != SHAPE.size()) return std::nullopt;
    for (std::size_t i = 0; i < SHAPE.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (SHAPE[i] == 'd' ? !digit : text[i] != SHAPE[i]) return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        std::int64_t value = 0;
        for (char c : text.substr(at, length)) value = value * 10 + (c - '0');
        return value;
    };
    const std::int64_t year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const std::int64_t hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    constexpr std::array<std::int64_t, 12> MONTH_DAYS = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return std::nullopt;
    if (day > MONTH_DAYS[static_cast<std::size_t>(month - 1)] + (month == 2 && leap)) return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return days_from_civil(year, month, day) * 86'400 + hour * 3'600 + minute * 60 + second;
}

}  // namespace quarnet
