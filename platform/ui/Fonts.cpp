#include "platform/ui/Fonts.h"

#include <QGuiApplication>

namespace Orvanta {
namespace {

const QString Ming = QStringLiteral("Noto Serif CJK TC");

} // namespace

QString platformFontFamily(const QString& designName)
{
    const QString name = designName.trimmed();
    static const QStringList ming = {
        QStringLiteral("新細明體"), QStringLiteral("細明體"),
        QStringLiteral("PMingLiU"), QStringLiteral("MingLiU"),
    };
    for (const QString& m : ming) {
        if (name.compare(m, Qt::CaseInsensitive) == 0)
            return Ming;
    }
    if (name.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Sans");
    return name;
}

QStringList mingFamilies()
{
    // HanaMinA holds the BMP ideographs, HanaMinB those of plane 2.
    return {Ming, QStringLiteral("HanaMinA"), QStringLiteral("HanaMinB")};
}

QFont withMingFallbacks(const QFont& font)
{
    QStringList families = {font.family()};
    for (const QString& f : mingFamilies()) {
        if (!families.contains(f))
            families.append(f);
    }
    QFont out = font;
    out.setFamilies(families);
    return out;
}

QFont designFont(const QString& designName, double pointSize, bool bold)
{
    QFont font(platformFontFamily(designName));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    // Keep the Chinese glyphs in the Ming face even for Latin-named fonts.
    return withMingFallbacks(font);
}

void installFontFallbacks()
{
    QGuiApplication::setFont(withMingFallbacks(QGuiApplication::font()));
}

} // namespace Orvanta
