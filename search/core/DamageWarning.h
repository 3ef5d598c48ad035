// The damage warning in the window's own words. The collection layer words
// what a damaged Jet file lost in English, for the command line and the logs;
// the window speaks Chinese, as its chooser and its other messages do, so the
// same report is told again here for it.
#pragma once

#include "platform/jet/DamageReport.h"

#include <QString>

namespace Orvanta {

// One paragraph: the file, how many documents were affected and how, naming
// at most `titleCap` of them; the same facts as DamageReport::text().
QString damageWarningInChinese(const DamageReport& report, const QString& displayPath, int titleCap = 10);

// A warning taken from the database (Database::takeDamageWarning) with its
// damage paragraph told in Chinese; the rest of it, already the window's own,
// is kept as it is.
QString warningInTheWindowsVoice(const QString& taken, const DamageReport& report, const QString& displayPath);

} // namespace Orvanta
