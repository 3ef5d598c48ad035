#include "search/core/SelectionQuery.h"

#include <QChar>

namespace Orvanta {

namespace {

bool isNoncharacter(char32_t c)
{
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

} // namespace

QString queryFromSelection(const QString& selection)
{
    QString out;
    out.reserve(std::min<qsizetype>(selection.size(), kSelectionQueryMaxCodePoints * 2));
    int codePoints = 0;
    bool spacePending = false;
    const qsizetype n = selection.size();
    for (qsizetype i = 0; i < n && codePoints < kSelectionQueryMaxCodePoints; ++i) {
        const QChar unit = selection[i];
        char32_t c = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < n && selection[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, selection[i + 1]);
            ++i;
        } else if (unit.isSurrogate()) {
            continue; // half a pair: no character at all
        }
        if (QChar::isSpace(c)) {
            spacePending = !out.isEmpty();
            continue;
        }
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format || isNoncharacter(c))
            continue;
        if (spacePending) {
            // A space counts towards the bound; a query never ends in one.
            if (codePoints + 2 > kSelectionQueryMaxCodePoints)
                break;
            out += QLatin1Char(' ');
            ++codePoints;
            spacePending = false;
        }
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        ++codePoints;
    }
    return out;
}

} // namespace Orvanta
