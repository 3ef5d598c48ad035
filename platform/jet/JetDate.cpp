#include "platform/jet/JetDate.h"

#include <cmath>
#include <cstdint>

namespace Orvanta::JetDate {
namespace {

// Days between 1970-01-01 and a civil date, and back (H. Hinnant's
// algorithms, exact over the whole range we use).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = std::int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

} // namespace

std::optional<std::string> toText(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;

    static const std::int64_t epoch = daysFromCivil(1899, 12, 30);
    static const std::int64_t first = daysFromCivil(1, 1, 1) - epoch;
    static const std::int64_t last = daysFromCivil(9999, 12, 31) - epoch;

    std::int64_t day = 0;
    std::int64_t seconds = 0;
    if (value < double(first)) {
        day = first;
    } else if (value >= double(last + 1)) {
        day = last;
        seconds = 86399;
    } else {
        const double whole = std::trunc(value);
        day = std::int64_t(whole);
        seconds = std::llround(std::fabs(value - whole) * 86400.0);
        if (seconds >= 86400) {
            seconds -= 86400;
            ++day;
        }
        if (day > last) {
            day = last;
            seconds = 86399;
        }
    }

    std::int64_t y;
    unsigned m, d;
    civilFromDays(day + epoch, y, m, d);
    // YYYY-MM-DD HH:MM:SS, digit by digit: a table of documents has a date
    // in every row.
    std::string text = "0000-00-00 00:00:00";
    auto digits = [&](std::size_t end, unsigned value, int count) {
        for (int i = 1; i <= count; ++i, value /= 10)
            text[end - std::size_t(i)] = char('0' + value % 10);
    };
    digits(4, unsigned(y), 4);
    digits(7, m, 2);
    digits(10, d, 2);
    digits(13, unsigned(seconds / 3600), 2);
    digits(16, unsigned(seconds / 60 % 60), 2);
    digits(19, unsigned(seconds % 60), 2);
    return text;
}

} // namespace Orvanta::JetDate
