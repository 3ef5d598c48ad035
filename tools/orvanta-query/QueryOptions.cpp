#include "QueryOptions.h"

namespace Orvanta::QueryTool {
namespace {

std::optional<qint64> parseCount(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return value;
}

} // namespace

ParseResult parseArguments(const QStringList& arguments)
{
    ParseResult result;
    Options& o = result.options;
    bool haveQuery = false;
    bool optionsEnded = false;

    auto fail = [&result](const QString& why) {
        result.error = why;
        return result;
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];

        // Only arguments that begin with "--" are options: a query such as
        // "-人參" or "+甘草" can be given without a separator.
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            if (haveQuery)
                return fail(QStringLiteral("more than one QUERY given (quote a query that holds spaces)"));
            o.query = arg;
            o.queryArgument = i;
            haveQuery = true;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        QString name = arg;
        std::optional<QString> inlineValue;
        if (const qsizetype eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
            name = arg.left(eq);
            inlineValue = arg.mid(eq + 1);
        }
        auto takeValue = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };

        if (name == QLatin1String("--help")) {
            o.help = true;
        } else if (name == QLatin1String("--version")) {
            if (inlineValue)
                return fail(QStringLiteral("--version takes no value"));
            o.version = true;
        } else if (name == QLatin1String("--sql")) {
            if (inlineValue)
                return fail(QStringLiteral("--sql takes no value"));
            o.showSql = true;
        } else if (name == QLatin1String("--dir")) {
            const auto value = takeValue();
            if (!value || value->isEmpty())
                return fail(QStringLiteral("--dir needs a folder"));
            o.dir = *value;
        } else if (name == QLatin1String("--page")) {
            const auto value = takeValue();
            const auto row = value ? parseCount(*value) : std::nullopt;
            if (!row || *row < 0)
                return fail(QStringLiteral("--page needs a row number (0 or more)"));
            o.pageRow = *row;
        } else if (name == QLatin1String("--scan")) {
            if (inlineValue)
                return fail(QStringLiteral("--scan takes no value"));
            o.scan = true;
        } else if (name == QLatin1String("--variants")) {
            if (inlineValue)
                return fail(QStringLiteral("--variants takes no value"));
            o.variants = true;
        } else if (name == QLatin1String("--repeat")) {
            const auto value = takeValue();
            const auto count = value ? parseCount(*value) : std::nullopt;
            if (!count || *count < 1)
                return fail(QStringLiteral("--repeat needs a count (1 or more)"));
            o.repeat = *count;
            o.timed = true;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(arg));
        }
    }

    if (!o.help && !o.version && !haveQuery)
        return fail(QStringLiteral("QUERY is missing (give \"\" to list every document)"));
    return result;
}

QString usageText()
{
    return QStringLiteral(R"(Usage: orvanta-query [--dir DIR] [--sql] [--page ROW] [--repeat N] [--scan] [--variants] [--] QUERY

Runs one search of an installed collection exactly as the search window runs
it, and prints the result list.

QUERY is the text typed into the query box. It is trimmed of leading and
trailing spaces (U+0020 only), apostrophes are escaped, and the first
character chooses the mode:
  ""          mod1   every document, newest first
  -w1 w2 ...  mod3   documents holding every word, newest first
  +w1 w2 ...  mod4   documents holding at least one word, in engine order
  w1 w2 ...   mod3a  documents holding every word, newest first
Words are separated by single spaces; two spaces make an empty word. Only
arguments that begin with "--" are options; put "--" before a QUERY that
itself begins with "--". QUERY must be valid UTF-8: one holding a byte that
starts no character (a sequence cut short, an overlong form, an encoded
surrogate) is refused with exit status 64 and the message "the query is not
valid UTF-8 at byte N", N counting from 0.

Options:
  --dir DIR     the install folder holding jst.mdb and the pages (default:
                the current folder). The connection string is made from it
                as the program makes it from its own folder.
  --sql         first print one line: the mode, a TAB, the SQL statement
                exactly (trailing spaces kept).
  --page ROW    instead of the list, print the bytes of the temporary page
                that showing row ROW of this search writes: the document page
                read from DIR with the query words marked, in code page 950.
                Row 1 is the first result; row 0 is the header row, whose
                path cell reads "位置". The page is built in a private
                temporary folder, never in DIR\tmp. Nothing is printed when
                the page cannot be read.
  --repeat N    run the search N times in this process and print to standard
                error one line per run: search_ms=<milliseconds> rows=<count>
                (the first run includes opening the database). Every run is
                a real search: none is served from the rows of the one before.
  --scan        read every document, not the collection's search index (the
                rows are the same; for comparing the two).
  --variants    find every variant form of the words, as the window's 異體字
                switch does: 人參 also finds 人蔘 and 人参, 針 finds 鍼, 脉
                finds 脈 (traditional and simplified forms, Unihan semantic
                and Z variants). With --page, every form is marked.
  --version     print the version and end.
  --help        print this text.

Output (UTF-8): one line per result row in list order: the row number (1 for
the first), a TAB, the title, a TAB, the page path. A TAB, CR or LF inside a
value is written as a space.

Exit status:
  0   rows were found
  1   nothing was found; the message the program shows is printed to
      standard error
  2   an error; "error N: text" is printed to standard error
  64  bad usage, a QUERY that is not valid UTF-8 included
)");
}

} // namespace Orvanta::QueryTool
