// The command line of orvanta-query.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Orvanta::QueryTool {

struct Options {
    QString dir;                      // install folder; empty means the current folder
    bool showSql = false;
    std::optional<qint64> pageRow;    // --page ROW
    qint64 repeat = 1;
    bool timed = false; // --repeat given: one timing line per run, --repeat 1 included
    bool scan = false;                // --scan: no search index
    bool variants = false;            // --variants: every variant form of the words
    QString query;
    qsizetype queryArgument = -1;     // where the query stands among the arguments
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    QString error;                    // not empty: bad usage, with the reason
};

// `arguments` without the program name.
ParseResult parseArguments(const QStringList& arguments);

QString usageText();

} // namespace Orvanta::QueryTool
