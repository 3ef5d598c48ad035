// The pieces of the statements the query composer writes, in one place for
// the composer (search/core/QueryComposer) and for the content index, which
// recognizes its statements by them (IndexedSearch). The doubled and trailing
// spaces are deliberate: the statement text is compared byte for byte by
// other tools.
#pragma once

#include <QString>

namespace Orvanta::StatementPieces {

inline const QString ListAll = QStringLiteral("select subject,htm from  maindata order by date desc");
inline const QString AllWordsBase = QStringLiteral("select subject,htm from  maindata where 1=1");
inline const QString AllWordsHead = QStringLiteral(" and content like '%");
inline const QString AnyWordBase = QStringLiteral("select subject,htm from  maindata where 1=2");
inline const QString AnyWordHead = QStringLiteral("  or content like '%");
inline const QString ClauseTail = QStringLiteral("%' ");
inline const QString Ordering = QStringLiteral("order by [date] desc ");

// Inside a quoted literal: close it, add chr(39), open it again.
inline const QString ApostropheEscape = QStringLiteral("'&chr(39)&'");

} // namespace Orvanta::StatementPieces
