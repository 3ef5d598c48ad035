#include "search/core/VariantMatches.h"

#include <algorithm>

#include "platform/text/VariantFolding.h"

namespace Orvanta {

namespace {

// Appends `text` folded; when `origin` is given, the position in `text` of
// each unit appended, and the text's length at the end.
void foldInto(QStringView text, QString& out, std::vector<qsizetype>* origin)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t u = text[i].unicode();
        char32_t c = u;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            units = 2;
        }
        // A lone surrogate is no character: it stays itself.
        const char32_t f = QChar::isSurrogate(c) ? c : VariantFolding::fold(c);
        if (f > 0xFFFF) {
            out += QChar(QChar::highSurrogate(f));
            out += QChar(QChar::lowSurrogate(f));
            if (origin)
                origin->insert(origin->end(), 2, i);
        } else {
            out += QChar(char16_t(f));
            if (origin)
                origin->push_back(i);
        }
        i += units;
    }
    if (origin)
        origin->push_back(n);
}

} // namespace

VariantMatches::VariantMatches(QStringView text)
{
    m_folded.reserve(text.size());
    m_origin.reserve(size_t(text.size()) + 1);
    foldInto(text, m_folded, &m_origin);
}

QString VariantMatches::folded(QStringView word)
{
    QString out;
    foldInto(word, out, nullptr);
    return out;
}

qsizetype VariantMatches::foldedPosition(qsizetype at) const
{
    return qsizetype(std::lower_bound(m_origin.begin(), m_origin.end(), at) - m_origin.begin());
}

} // namespace Orvanta
