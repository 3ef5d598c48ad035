// Jet date/time values as text. Jet stores a date as a double: whole days
// since 1899-12-30, the fraction the time of day. Before that day the value is
// negative, yet only its whole part counts backwards: the fraction is still
// the time since midnight (-1.25 is 1899-12-29 06:00).
#pragma once

#include <optional>
#include <string>

namespace Orvanta::JetDate {

// 'YYYY-MM-DD HH:MM:SS', zero padded, rounded to the second, proleptic
// Gregorian calendar, so that text order is date order. Values beyond the
// years 0001..9999 are held at those bounds; a value that is no number at
// all (NaN, infinity) has no text.
std::optional<std::string> toText(double value);

} // namespace Orvanta::JetDate
