// Hostile query texts against a plain reference: 10,000 generated queries full
// of quotes, wildcards, brackets, SQL words, control characters, odd spaces and
// mixed-case Latin, plus a few enormous ones, run through orvanta-query and the
// library, the library both through the collection's content index and by
// scanning every document. Every run must end in rows or "nothing found" (never an engine error
// or a crash), and the rows must be exactly those the reference matcher below
// finds, in the same order.
//
// The reference knows nothing of the engine: it folds both sides per code point
// with ICU's simple case folding and walks the pattern itself.
#include "app/core/modVelmora.h"
#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"
#include "support/Fixtures.h"
#include "support/MaindataFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unicode/uchar.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <set>

using namespace Orvanta;

namespace {

// ---------------------------------------------------------------- reference

using Text = std::u32string;

Text folded(const QString& s)
{
    Text out;
    out.reserve(size_t(s.size()));
    for (char32_t c : s.toUcs4())
        out.push_back(char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT)));
    return out;
}

struct Row {
    QString subject;
    QString htm;
    std::optional<Text> content; // folded; nullopt is NULL
    std::optional<QString> date; // "YYYY-MM-DD HH:MM:SS"; nullopt is NULL
};

// One word of the query as the pattern "%word%": the runs between "%" are
// fixed-length pieces in which "_" stands for any one code point. Finding each
// piece at its earliest place after the previous one decides the match.
class WordPattern {
public:
    explicit WordPattern(const QString& word)
    {
        Text piece;
        for (char32_t c : folded(word)) {
            if (c == U'%') {
                if (!piece.empty())
                    m_pieces.push_back(piece);
                piece.clear();
            } else {
                piece.push_back(c);
            }
        }
        if (!piece.empty())
            m_pieces.push_back(piece);
    }

    bool matches(const Text& text) const
    {
        size_t from = 0;
        for (const Text& piece : m_pieces) {
            const size_t at = find(text, piece, from);
            if (at == Text::npos)
                return false;
            from = at + piece.size();
        }
        return true;
    }

private:
    static size_t find(const Text& text, const Text& piece, size_t from)
    {
        if (piece.size() > text.size())
            return Text::npos;
        for (size_t i = from; i + piece.size() <= text.size(); ++i) {
            size_t k = 0;
            while (k < piece.size() && (piece[k] == U'_' || piece[k] == text[i + k]))
                ++k;
            if (k == piece.size())
                return i;
        }
        return Text::npos;
    }

    std::vector<Text> m_pieces;
};

// The rows a query box text should list, as (subject, htm) in list order.
std::vector<std::pair<QString, QString>> referenceRows(const std::vector<Row>& rows, const QString& boxText)
{
    QString text = boxText;
    while (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);

    enum { ListAll, AllWords, AnyWord } kind = AllWords;
    if (text.isEmpty()) {
        kind = ListAll;
    } else if (text.front() == QLatin1Char('-')) {
        text.remove(0, 1);
    } else if (text.front() == QLatin1Char('+')) {
        kind = AnyWord;
        text.remove(0, 1);
    }

    // Repeated words decide nothing new; dropping them keeps huge queries cheap.
    std::vector<WordPattern> patterns;
    if (!text.isEmpty()) {
        std::set<QString> seen;
        for (const QString& word : text.split(QLatin1Char(' '))) {
            if (seen.insert(word).second)
                patterns.emplace_back(word);
        }
    }

    std::vector<size_t> hits;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        bool hit = false;
        if (kind == ListAll || (kind == AllWords && patterns.empty())) {
            hit = true;
        } else if (row.content) {
            if (kind == AllWords) {
                hit = std::all_of(patterns.begin(), patterns.end(),
                                  [&](const WordPattern& p) { return p.matches(*row.content); });
            } else {
                hit = std::any_of(patterns.begin(), patterns.end(),
                                  [&](const WordPattern& p) { return p.matches(*row.content); });
            }
        }
        if (hit)
            hits.push_back(i);
    }

    if (kind != AnyWord) {
        // Newest first, rows without a date last, equal dates in storage order.
        std::stable_sort(hits.begin(), hits.end(), [&](size_t a, size_t b) {
            const auto& da = rows[a].date;
            const auto& db = rows[b].date;
            if (da && db)
                return *da > *db;
            return da.has_value() && !db.has_value();
        });
    }

    std::vector<std::pair<QString, QString>> out;
    out.reserve(hits.size());
    for (size_t i : hits)
        out.emplace_back(rows[i].subject, rows[i].htm);
    return out;
}

// orvanta-query writes TAB, CR and LF inside a value as spaces.
QString asPrinted(QString value)
{
    for (QChar& c : value) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return value;
}

// ---------------------------------------------------------------- collection

// Pieces that content and queries share, so that queries find something.
const QStringList kCommon = {
    QStringLiteral("人參"), QStringLiteral("甘草"), QStringLiteral("黃耆"), QStringLiteral("當歸"),
    QStringLiteral("太陽"), QStringLiteral("桂枝湯"), QStringLiteral("乾薑"), QStringLiteral("白朮"),
    QStringLiteral("Ginseng"), QStringLiteral("GINSENG"), QStringLiteral("ginSeng"), QStringLiteral("it's"),
    QStringLiteral("100%"), QStringLiteral("純_品"), QStringLiteral("[x]"), QStringLiteral("[a-z]"),
    QStringLiteral("a%b"), QStringLiteral("a_b"), QStringLiteral("ＡＢＣ"), QStringLiteral("ａｂｃ"),
    QStringLiteral("　"), QStringLiteral("\""), QStringLiteral("'"), QStringLiteral("--"), QStringLiteral(";"),
    QStringLiteral("select"), QStringLiteral("DROP"), QStringLiteral("Union"), QStringLiteral("or 1=1"),
    QStringLiteral("ß"), QStringLiteral("ẞ"), QStringLiteral("Σ"), QStringLiteral("σ"), QStringLiteral("ς"),
    QStringLiteral("İ"), QStringLiteral("K"), QStringLiteral("k"), QStringLiteral("Å"), QStringLiteral("å"),
    QStringLiteral("𠀀"), QStringLiteral("𠀀x"), QStringLiteral("人参"), QStringLiteral("－"), QStringLiteral("＋"),
    QStringLiteral("\t"), QStringLiteral("\\"), QStringLiteral("*"), QStringLiteral("?"), QStringLiteral("#"),
    // Words of three characters and more, which the index answers from its
    // sets of three; cased letters outside the BMP, which have none.
    QStringLiteral("麻黃湯"), QStringLiteral("當歸芍藥散"), QStringLiteral("桂枝湯加"), QStringLiteral("湯桂枝"),
    QStringLiteral("𐐀𐐁𐐂"), QStringLiteral("𐐨𐐩"), QStringLiteral("ǅǆx"),
};

const QStringList kDates = {
    QStringLiteral("2001-05-01 00:00:00"), QStringLiteral("2001-05-02 00:00:00"), QStringLiteral("2000-01-01 00:00:00"),
    QStringLiteral("1999-12-31 23:59:59"), QStringLiteral("1644-01-01 00:00:00"), QStringLiteral("0200-01-01 00:00:00"),
    QStringLiteral("2020-02-29 12:00:00"), QStringLiteral("1970-01-01 00:00:00"), QStringLiteral("2010-10-10 10:10:10"),
    QStringLiteral("9999-12-31 23:59:59"),
};

QString pick(std::mt19937& rng, const QStringList& list)
{
    return list[int(rng() % unsigned(list.size()))];
}

// Writes maindata(subject, htm, content, date) with plain SQLite and keeps the
// rows for the reference.
void writeCollection(const QString& path, std::vector<Row>& rows)
{
    std::mt19937 rng(20261210);
    const QStringList separators = {QStringLiteral(" "), QString(), QStringLiteral("，"), QStringLiteral("　"),
                                    QStringLiteral("\n")};
    std::vector<Test::MaindataRow> written;
    rows.clear();
    for (int i = 0; i < 200; ++i) {
        Row row;
        row.subject = QStringLiteral("題%1 %2").arg(i, 3, 10, QLatin1Char('0')).arg(pick(rng, kCommon));
        row.htm = QStringLiteral("data\\p%1.htm").arg(i, 3, 10, QLatin1Char('0'));
        std::optional<QString> content;
        if (i % 23 == 5) {
            content = std::nullopt;
        } else if (i % 29 == 7) {
            content = QString();
        } else {
            QString text;
            const int n = int(rng() % 9);
            for (int k = 0; k < n; ++k)
                text += pick(rng, kCommon) + pick(rng, separators);
            content = text;
        }
        if (rng() % 10 != 0)
            row.date = kDates[int(rng() % unsigned(kDates.size()))];
        if (content)
            row.content = folded(*content);
        written.push_back({row.subject, row.htm, content, row.date});
        rows.push_back(row);
    }
    // With the content index, as orvanta-build writes collections; the scan
    // is tried as well by turning the index off (see bothPaths).
    Test::writeMaindata(path, written);
}

// The rows of the Jet install fixture, from its listing in storage order.
std::vector<Row> fixtureRows(const QString& tsvPath)
{
    std::vector<Row> rows;
    QFile file(tsvPath);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 4)
            continue;
        Row row;
        row.subject = QString::fromUtf8(f[0]);
        row.htm = QString::fromUtf8(f[1]);
        if (f[2] != "\\N")
            row.content = folded(QString::fromUtf8(f[2]));
        if (!f[3].isEmpty())
            row.date = QString::fromUtf8(f[3]);
        rows.push_back(row);
    }
    return rows;
}

// ---------------------------------------------------------------- queries

// A word as a user takes it from a document: mostly one or two characters,
// sometimes a longer run, from anywhere in the text.
QString wordFrom(std::mt19937& rng, const Text& text)
{
    const unsigned r = rng() % 10;
    const std::size_t length = r < 4 ? 1 : r < 8 ? 2 : 3 + rng() % 4;
    if (text.size() <= length)
        return QString::fromUcs4(text.data(), qsizetype(text.size()));
    const std::size_t at = rng() % (text.size() - length + 1);
    return QString::fromUcs4(text.data() + at, qsizetype(length));
}

// Nine words in ten come from the collection's own text (all words of one query
// from one document, so that most queries find something); the rest are
// hostile pieces and common words.
QStringList generateQueries(int count, const std::vector<Row>& rows)
{
    std::mt19937 rng(4242);
    std::vector<const Text*> texts;
    for (const Row& row : rows) {
        if (row.content && !row.content->empty())
            texts.push_back(&*row.content);
    }
    const QStringList hostile = {
        QStringLiteral("'"), QStringLiteral("''"), QStringLiteral("\""), QStringLiteral("%"), QStringLiteral("_"),
        QStringLiteral("%%"), QStringLiteral("__"), QStringLiteral("["), QStringLiteral("]"), QStringLiteral("[]"),
        QStringLiteral("[!a]"), QStringLiteral("--"), QStringLiteral(";"), QStringLiteral("';"),
        QStringLiteral("select"), QStringLiteral("SELECT * FROM maindata"), QStringLiteral("drop"),
        QStringLiteral("DROP TABLE maindata"), QStringLiteral("union"), QStringLiteral("UNION SELECT 1,2"),
        QStringLiteral("or 1=1"), QStringLiteral("' or '1'='1"), QStringLiteral("'; drop table maindata; --"),
        QStringLiteral("/*"), QStringLiteral("*/"), QStringLiteral("chr(39)"), QStringLiteral("'&chr(39)&'"),
        QStringLiteral("&"), QStringLiteral("\\"), QStringLiteral("\\'"), QStringLiteral("?"), QStringLiteral("*"),
        QStringLiteral("\t"), QStringLiteral("\r"), QStringLiteral("\n"), QStringLiteral("\r\n"),
        QString(QChar(0x01)), QString(QChar(0x1b)), QString(QChar(0x1f)), QString(QChar(0x7f)),
        QString(QChar(0x85)), QString(QChar(0x200b)), QString(QChar(0xfeff)), QString(QChar(0x3000)),
        QString(QChar(0xff05)), QString(QChar(0xff3f)), QStringLiteral("　"), QStringLiteral("＋"),
        QStringLiteral("－"), QStringLiteral("$1"), QStringLiteral("?1"), QStringLiteral(":a"), QStringLiteral("@a"),
        QStringLiteral("like"), QStringLiteral("escape"), QStringLiteral("null"), QStringLiteral("glob"),
    };
    const QStringList starts = {QString(), QString(), QString(), QStringLiteral("+"), QStringLiteral("-"),
                                QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("+ "),
                                QStringLiteral("- "), QStringLiteral("--"), QStringLiteral("++"),
                                QStringLiteral("'"), QStringLiteral("　")};
    const QStringList joins = {QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("  "),
                               QStringLiteral("　")};

    QStringList queries;
    queries.reserve(count);
    while (queries.size() < count) {
        QString q = pick(rng, starts);
        const int words = int(rng() % 5);
        const Text* source = texts.empty() ? nullptr : texts[rng() % texts.size()];
        for (int w = 0; w < words; ++w) {
            if (w > 0)
                q += pick(rng, joins);
            if (source && rng() % 100 < 90) {
                q += wordFrom(rng, *source);
                continue;
            }
            const int pieces = 1 + int(rng() % 3);
            for (int p = 0; p < pieces; ++p) {
                const unsigned r = rng() % 100;
                QString piece = r < 45 ? pick(rng, kCommon) : pick(rng, hostile);
                // Sometimes only part of a word, so that substrings are tried.
                // (A surrogate pair stays whole: a lone half is no text an
                // argument can carry; LoneSurrogates tries those.)
                if (rng() % 4 == 0 && piece.size() > 1) {
                    qsizetype n = 1 + qsizetype(rng() % unsigned(piece.size() - 1));
                    if (piece[n - 1].isHighSurrogate())
                        ++n;
                    piece = piece.left(n);
                }
                q += piece;
            }
        }
        if (rng() % 6 == 0)
            q += QStringLiteral("  ");
        queries << q;
    }
    return queries;
}

// A query of n words taken in turn from the list.
QString manyWords(qsizetype n, const QStringList& words)
{
    QString q;
    for (qsizetype i = 0; i < n; ++i) {
        if (i)
            q += QLatin1Char(' ');
        q += words[int(i % words.size())];
    }
    return q;
}

// ---------------------------------------------------------------- runners

using Rows = std::vector<std::pair<QString, QString>>;

struct Outcome {
    bool ok = false; // rows or nothing found
    QString error;
    Rows rows;
};

Outcome runLibrary(const QString& connectionString, const QString& boxText)
{
    Outcome out;
    try {
        const ComposedQuery q = composeQuery(boxText);
        const auto table = executeSearch(connectionString, q.sql);
        if (table) {
            for (qsizetype r = 0; r < table->rowCount(); ++r)
                out.rows.emplace_back(table->cellText(r, 0), table->cellText(r, 1));
        }
        out.ok = true;
    } catch (const Error& e) {
        out.error = QStringLiteral("error %1: %2").arg(e.number()).arg(e.text());
    }
    return out;
}

Outcome parseProcess(QProcess& p)
{
    Outcome out;
    if (p.exitStatus() != QProcess::NormalExit) {
        out.error = QStringLiteral("crashed: ") + QString::fromUtf8(p.readAllStandardError());
        return out;
    }
    const int rc = p.exitCode();
    const QByteArray stdoutBytes = p.readAllStandardOutput();
    if (rc == 1) {
        out.ok = stdoutBytes.isEmpty();
        if (!out.ok)
            out.error = QStringLiteral("exit 1 with output");
        return out;
    }
    if (rc != 0) {
        out.error = QStringLiteral("exit %1: %2").arg(rc).arg(QString::fromUtf8(p.readAllStandardError()));
        return out;
    }
    for (const QByteArray& line : stdoutBytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 3) {
            out.error = QStringLiteral("bad line: ") + QString::fromUtf8(line);
            return out;
        }
        out.rows.emplace_back(QString::fromUtf8(f[1]), QString::fromUtf8(f[2]));
    }
    out.ok = true;
    return out;
}

// Runs the queries through orvanta-query, two processes at a time.
std::vector<Outcome> runProcesses(const QString& installFolder, const QStringList& queries)
{
    const QString program = Orvanta::Test::binDir() + QStringLiteral("/orvanta-query");
    std::vector<Outcome> outcomes(size_t(queries.size()));
    struct Running {
        std::unique_ptr<QProcess> process;
        qsizetype index;
    };
    std::deque<Running> running;
    qsizetype next = 0;
    constexpr int kParallel = 2;
    while (next < queries.size() || !running.empty()) {
        while (next < queries.size() && int(running.size()) < kParallel) {
            auto p = std::make_unique<QProcess>();
            p->setProgram(program);
            p->setArguments({QStringLiteral("--dir"), installFolder, QStringLiteral("--"), queries[next]});
            p->start();
            running.push_back({std::move(p), next++});
        }
        Running r = std::move(running.front());
        running.pop_front();
        if (!r.process->waitForFinished(60000)) {
            r.process->kill();
            r.process->waitForFinished();
            outcomes[size_t(r.index)].error = QStringLiteral("did not finish within 60 s");
            continue;
        }
        outcomes[size_t(r.index)] = parseProcess(*r.process);
    }
    return outcomes;
}

// Printable form of a query for failure messages.
QString shown(const QString& q)
{
    QString out;
    for (QChar c : q.left(200)) {
        if (!c.isPrint() || c.isSpace())
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (q.size() > 200)
        out += QStringLiteral("... (%1 characters)").arg(q.size());
    return out;
}

// The collection's searches go through its content index.
bool usesContentIndex(const QString& connectionString)
{
    Connection connection;
    connection.open(connectionString);
    return connection.database()->usesContentIndex();
}

class Mismatches {
public:
    void compare(const QString& how, const QString& query, const Outcome& got, const Rows& expected)
    {
        ++m_checked;
        QString problem;
        if (!got.ok) {
            problem = got.error;
        } else if (got.rows != expected) {
            problem = QStringLiteral("%1 rows, expected %2").arg(got.rows.size()).arg(expected.size());
            for (size_t i = 0; i < std::max(got.rows.size(), expected.size()); ++i) {
                const auto g = i < got.rows.size() ? got.rows[i] : std::pair<QString, QString>();
                const auto e = i < expected.size() ? expected[i] : std::pair<QString, QString>();
                if (g != e) {
                    problem += QStringLiteral("; first difference at row %1: got [%2|%3] expected [%4|%5]")
                                   .arg(i + 1).arg(g.first, g.second, e.first, e.second);
                    break;
                }
            }
        }
        if (problem.isEmpty())
            return;
        if (++m_failed <= 15)
            ADD_FAILURE() << how.toStdString() << " ⟨" << shown(query).toStdString() << "⟩: " << problem.toStdString();
    }
    // Through the library twice: with the content index, and scanning.
    void compareBothPaths(const QString& connectionString, const QString& query, const Rows& expected)
    {
        compare(QStringLiteral("library"), query, runLibrary(connectionString, query), expected);
        Database::setContentIndexUse(false);
        compare(QStringLiteral("library, scanned"), query, runLibrary(connectionString, query), expected);
        Database::setContentIndexUse(true);
    }
    int failed() const { return m_failed; }
    int checked() const { return m_checked; }

private:
    int m_failed = 0;
    int m_checked = 0;
};

Rows printed(const Rows& rows)
{
    Rows out;
    out.reserve(rows.size());
    for (const auto& [s, h] : rows)
        out.emplace_back(asPrinted(s), asPrinted(h));
    return out;
}

// Linux takes at most 128 KB in one argument (MAX_ARG_STRLEN, with its NUL).
bool fitsInArgv(const QString& q)
{
    return q.toUtf8().size() < 128 * 1024 - 16;
}

class HostileQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        cache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", cache->path().toUtf8());
        folder = dir.path();
        writeCollection(folder + QStringLiteral("/jst.mdb"), rows);
        connectionString = modVelmora::connectionStringFor(folder);
    }

    QTemporaryDir dir;
    std::unique_ptr<QTemporaryDir> cache;
    QString folder;
    QString connectionString;
    std::vector<Row> rows;
};

// Every generated query runs twice: in this process through the calls the
// program makes (cheap, and the only way for what an argument cannot carry),
// and through orvanta-query itself, two processes at a time.
constexpr int kThroughProcess = 10000;

} // namespace

TEST_F(HostileQueries, GeneratedQueriesMatchTheReference)
{
    const QStringList queries = generateQueries(10000, rows);
    Mismatches mismatches;

    ASSERT_TRUE(usesContentIndex(connectionString));
    QElapsedTimer timer;
    timer.start();
    int answered = 0;
    for (const QString& q : queries) {
        const Rows expected = referenceRows(rows, q);
        answered += expected.empty() ? 0 : 1;
        mismatches.compareBothPaths(connectionString, q, expected);
    }
    const qint64 libraryMs = timer.restart();
    // Queries that find nothing test little: most must have an answer.
    std::printf("[ figures  ] %d of %d generated queries find rows\n", answered, int(queries.size()));
    EXPECT_GT(answered * 2, int(queries.size()));

    const QStringList viaProcess = queries.mid(0, kThroughProcess);
    const std::vector<Outcome> outcomes = runProcesses(folder, viaProcess);
    for (qsizetype i = 0; i < viaProcess.size(); ++i)
        mismatches.compare(QStringLiteral("orvanta-query"), viaProcess[i], outcomes[size_t(i)],
                           printed(referenceRows(rows, viaProcess[i])));
    const qint64 processMs = timer.elapsed();

    std::printf("[ figures  ] %d queries in-process (index and scan) in %lld ms; %lld through orvanta-query in %lld ms\n",
                int(queries.size()), qint64(libraryMs), qint64(viaProcess.size()), qint64(processMs));
    EXPECT_EQ(mismatches.failed(), 0) << "of " << mismatches.checked() << " runs";
}

TEST_F(HostileQueries, HugeQueries)
{
    const QStringList latin = {QStringLiteral("a"), QStringLiteral("G"), QStringLiteral("%"), QStringLiteral("_"),
                               QStringLiteral("'")};
    const QStringList cjk = {QStringLiteral("人"), QStringLiteral("參"), QStringLiteral("甘草"), QStringLiteral("'"),
                             QStringLiteral("%_")};
    QStringList queries;
    queries << manyWords(32767, latin) << QStringLiteral("+") + manyWords(32767, latin)
            << manyWords(32767, cjk) << QStringLiteral("+") + manyWords(32767, cjk)
            << manyWords(40000, latin) << QStringLiteral("+") + manyWords(40000, latin)
            << QStringLiteral("-") + manyWords(40000, cjk);
    // One megabyte of text: words until the UTF-8 form passes 1 MB.
    std::mt19937 rng(7);
    QString mega;
    for (qsizetype bytes = 0; bytes < 1024 * 1024;) {
        const QString word = QStringLiteral(" ") + pick(rng, kCommon) + pick(rng, kCommon);
        bytes += word.toUtf8().size();
        mega += word;
    }
    queries << mega << QStringLiteral("+") + mega;
    QString oneWord(1 << 19, QChar(0x4eba)); // one word of half a million characters
    queries << oneWord << QStringLiteral("+%") + oneWord.left(1000) + QStringLiteral(" 人參");

    Mismatches mismatches;
    QStringList viaProcess;
    for (const QString& q : queries) {
        const Rows expected = referenceRows(rows, q);
        mismatches.compareBothPaths(connectionString, q, expected);
        if (fitsInArgv(q))
            viaProcess << q;
    }
    // The ones too long for one argument went through the library only.
    ASSERT_FALSE(viaProcess.isEmpty());
    const std::vector<Outcome> outcomes = runProcesses(folder, viaProcess);
    for (qsizetype i = 0; i < viaProcess.size(); ++i)
        mismatches.compare(QStringLiteral("orvanta-query"), viaProcess[i], outcomes[size_t(i)],
                           printed(referenceRows(rows, viaProcess[i])));
    EXPECT_EQ(mismatches.failed(), 0);
}

// A NUL cannot pass through an argument, so these go through the library.
TEST_F(HostileQueries, NulCharacterInTheQuery)
{
    const QChar nul(0);
    const QStringList queries = {
        QString(nul),
        QStringLiteral("人參") + nul,
        nul + QStringLiteral("人參"),
        QStringLiteral("人") + nul + QStringLiteral("參"),
        QStringLiteral("+") + nul + QStringLiteral(" 甘草"),
        QStringLiteral("-甘草 ") + nul,
        QStringLiteral("it's") + nul + QStringLiteral("'"),
    };
    Mismatches mismatches;
    for (const QString& q : queries)
        mismatches.compareBothPaths(connectionString, q, referenceRows(rows, q));
    EXPECT_EQ(mismatches.failed(), 0);
}

// What the program receives is what was typed: a leading U+FEFF is part of
// the query, not a byte-order mark to drop.
TEST_F(HostileQueries, ArgumentsKeepEveryCharacter)
{
    const QChar bom(0xfeff);
    const QStringList queries = {
        QString(bom), bom + QStringLiteral(";"), bom + QStringLiteral("人參"), QStringLiteral("+") + bom,
        QStringLiteral("人參") + bom, QString(QChar(0x200b)), QStringLiteral("\t"), QStringLiteral("\r\n"),
    };
    Mismatches mismatches;
    const std::vector<Outcome> outcomes = runProcesses(folder, queries);
    for (qsizetype i = 0; i < queries.size(); ++i)
        mismatches.compare(QStringLiteral("orvanta-query"), queries[i], outcomes[size_t(i)],
                           printed(referenceRows(rows, queries[i])));
    EXPECT_EQ(mismatches.failed(), 0);
}

// Half a surrogate pair is not valid text but a string can hold it (pasted,
// or made by a program). It must stay inside its word like any character.
TEST_F(HostileQueries, LoneSurrogates)
{
    const QChar high(0xd840), low(0xdc00);
    const QStringList queries = {
        QString(high),
        QString(low),
        high + QStringLiteral("'"),
        high + QStringLiteral("' or 1=1 --"),
        QStringLiteral("+") + high + QStringLiteral(" 人參"),
        high + QStringLiteral("　 Ginseng"),
        QStringLiteral("人參") + low + QStringLiteral("'"),
        QStringLiteral("-") + high,
    };
    Mismatches mismatches;
    for (const QString& q : queries)
        mismatches.compareBothPaths(connectionString, q, referenceRows(rows, q));
    EXPECT_EQ(mismatches.failed(), 0);
}

TEST(HostileQueriesOnJet, GeneratedQueriesMatchTheFixtureListing)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = Orvanta::Test::fixture(QStringLiteral("jet4-install"));
    ASSERT_TRUE(QFile::copy(source + QStringLiteral("/jst.mdb"), dir.path() + QStringLiteral("/jst.mdb")));
    const std::vector<Row> rows = fixtureRows(source + QStringLiteral("/expected-rows.tsv"));
    ASSERT_EQ(rows.size(), 16u);
    const QString connectionString = modVelmora::connectionStringFor(dir.path());

    QStringList queries = generateQueries(3000, rows);
    queries << QStringLiteral("龍骨尾") << QStringLiteral("+龍骨尾 古代") << QStringLiteral("GINSENG")
            << QStringLiteral("IT'S") << QStringLiteral("100%") << QStringLiteral("純_品") << QStringLiteral("純%品")
            << QStringLiteral("人參　甘草") << QStringLiteral("+ ") << QStringLiteral("-") << QStringLiteral("+")
            << QString();
    Mismatches mismatches;
    for (const QString& q : queries)
        mismatches.compare(QStringLiteral("library"), q, runLibrary(connectionString, q), referenceRows(rows, q));

    // Each program run reads the Jet file afresh through the reader: a smaller share.
    const QStringList viaProcess = queries.mid(queries.size() - 1012);
    const std::vector<Outcome> outcomes = runProcesses(dir.path(), viaProcess);
    for (qsizetype i = 0; i < viaProcess.size(); ++i)
        mismatches.compare(QStringLiteral("orvanta-query"), viaProcess[i], outcomes[size_t(i)],
                           printed(referenceRows(rows, viaProcess[i])));
    EXPECT_EQ(mismatches.failed(), 0) << "of " << mismatches.checked() << " runs";
}
