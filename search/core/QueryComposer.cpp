#include "search/core/QueryComposer.h"

#include "platform/sql/StatementPieces.h"

namespace Orvanta {

using namespace StatementPieces;

QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QStringList splitWords(const QString& text)
{
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
}

ComposedQuery composeQuery(const QString& queryBoxText)
{
    ComposedQuery q;
    q.trimmed = trimSpaces(queryBoxText);
    q.escaped = q.trimmed;
    q.escaped.replace(QLatin1Char('\''), ApostropheEscape);

    if (q.escaped.isEmpty()) {
        q.mode = QStringLiteral("mod1");
        q.sql = ListAll;
        return q;
    }

    const QChar first = q.escaped.front();
    if (first == QLatin1Char('-'))
        q.mode = QStringLiteral("mod3");
    else if (first == QLatin1Char('+'))
        q.mode = QStringLiteral("mod4");
    else
        q.mode = QStringLiteral("mod3a");

    const bool anyWord = q.mode == QLatin1String("mod4");
    if (q.mode != QLatin1String("mod3a"))
        q.escaped.remove(0, 1);

    // Every word becomes a clause, however many there are: the word index is a
    // qsizetype, so a query of more than 32,767 words is composed whole rather
    // than overflowing or being cut.
    const QStringList words = splitWords(q.escaped);
    const QString& head = anyWord ? AnyWordHead : AllWordsHead;
    q.sql = anyWord ? AnyWordBase : AllWordsBase;
    q.sql.reserve(q.sql.size() + q.escaped.size()
                  + words.size() * (head.size() + ClauseTail.size()) + Ordering.size() + 1);
    for (const QString& word : words) {
        q.sql += head;
        q.sql += word;
        q.sql += ClauseTail;
    }
    q.wordCount = int(words.size());

    if (!anyWord) {
        // A clause ends in a space; without one, "order by" needs its own.
        if (words.isEmpty())
            q.sql += QLatin1Char(' ');
        q.sql += Ordering;
    }
    return q;
}

} // namespace Orvanta
