#include "platform/ui/Fonts.h"

#include <QStringList>

namespace Orvanta {

QString platformFontFamily(const QString& designName)
{
    const QString name = designName.trimmed();
    static const QStringList ming = {
        QStringLiteral("新細明體"), QStringLiteral("細明體"),
        QStringLiteral("PMingLiU"), QStringLiteral("MingLiU"),
    };
    for (const QString& m : ming) {
        if (name.compare(m, Qt::CaseInsensitive) == 0)
            return QStringLiteral("AR PL UMing TW");
    }
    if (name.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Sans");
    return name;
}

QFont designFont(const QString& designName, double pointSize, bool bold)
{
    QFont font(platformFontFamily(designName));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    // Keep the Chinese glyphs in the Ming face even for Latin-named fonts.
    font.setFamilies({font.family(), QStringLiteral("AR PL UMing TW")});
    return font;
}

} // namespace Orvanta
