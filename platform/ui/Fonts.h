// The fonts of the window designs, mapped to the fonts this platform has:
// the Ming typeface of Traditional Chinese Windows (新細明體, 細明體, PMingLiU,
// MingLiU) to "AR PL UMing TW", Arial to "Liberation Sans" (metric-compatible).
// Other names are used as they are.
#pragma once

#include <QFont>
#include <QString>

namespace Orvanta {

QString platformFontFamily(const QString& designName);

QFont designFont(const QString& designName, double pointSize, bool bold = false);

} // namespace Orvanta
