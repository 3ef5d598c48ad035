// The fonts of the window designs, mapped to the fonts this platform has.
//
// The Ming typeface of Traditional Chinese Windows (新細明體, 細明體, PMingLiU,
// MingLiU) becomes "Noto Serif CJK TC", a Ming face that holds every Big5
// character and the CJK Unified Ideographs with Extension A. The rarer
// ideographs of Extensions B to F, which pages carry as character references,
// come from the HanaMin faces behind it. Arial becomes "Liberation Sans"
// (metric-compatible). Other names are used as they are.
//
// Every font the program sets carries the Ming face and its fallbacks after
// its own family, so a character that the first face lacks is still drawn as
// a glyph and never as a box; the web view uses the same faces.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace Orvanta {

QString platformFontFamily(const QString& designName);

// The Ming face, then the faces that fill in what it lacks.
QStringList mingFamilies();

QFont designFont(const QString& designName, double pointSize, bool bold = false);

// `font` with the Ming face and its fallbacks behind its own family.
QFont withMingFallbacks(const QFont& font);

// Gives the application's default font (message boxes, tooltips, the
// printer) the Ming fallbacks. Call once after the application object exists.
void installFontFallbacks();

} // namespace Orvanta
