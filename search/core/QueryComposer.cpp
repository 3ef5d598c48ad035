#include "search/core/QueryComposer.h"

namespace Orvanta {
namespace {

// The statement pieces. The doubled and trailing spaces are deliberate: the
// statement text is compared byte for byte by other tools.
const QString kListAll = QStringLiteral("select subject,htm from  maindata order by date desc");
const QString kAllWordsBase = QStringLiteral("select subject,htm from  maindata where 1=1");
const QString kAllWordsHead = QStringLiteral(" and content like '%");
const QString kAnyWordBase = QStringLiteral("select subject,htm from  maindata where 1=2");
const QString kAnyWordHead = QStringLiteral("  or content like '%");
const QString kClauseTail = QStringLiteral("%' ");
const QString kOrdering = QStringLiteral("order by [date] desc ");

// Inside a quoted literal: close it, add chr(39), open it again.
const QString kApostropheEscape = QStringLiteral("'&chr(39)&'");

} // namespace

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
    q.escaped.replace(QLatin1Char('\''), kApostropheEscape);

    if (q.escaped.isEmpty()) {
        q.mode = QStringLiteral("mod1");
        q.sql = kListAll;
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
    const QString& head = anyWord ? kAnyWordHead : kAllWordsHead;
    q.sql = anyWord ? kAnyWordBase : kAllWordsBase;
    q.sql.reserve(q.sql.size() + q.escaped.size()
                  + words.size() * (head.size() + kClauseTail.size()) + kOrdering.size() + 1);
    for (const QString& word : words) {
        q.sql += head;
        q.sql += word;
        q.sql += kClauseTail;
    }
    q.wordCount = int(words.size());

    if (!anyWord) {
        // A clause ends in a space; without one, "order by" needs its own.
        if (words.isEmpty())
            q.sql += QLatin1Char(' ');
        q.sql += kOrdering;
    }
    return q;
}

} // namespace Orvanta
