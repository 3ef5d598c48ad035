#include "platform/text/Cp950.h"
#include "support/Fixtures.h"
#include "support/SalvageCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include <sqlite3.h>

namespace {

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runQuery(const QStringList& arguments, const QString& workingDir = {})
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(Orvanta::Test::binDir() + "/orvanta-query", arguments);
    ToolRun r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        ADD_FAILURE() << "orvanta-query did not run: " << p.errorString().toStdString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QStringList lines(const QByteArray& bytes)
{
    QStringList out = QString::fromUtf8(bytes).split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

// The page bytes with each word's code page 950 bytes wrapped in red mark-up,
// after the page's title: the window's caption is never marked.
QByteArray marked(QByteArray bytes, const QStringList& words)
{
    const qsizetype titleEnd = bytes.indexOf("</title>");
    const qsizetype from = titleEnd < 0 ? 0 : titleEnd;
    QByteArray body = bytes.mid(from);
    for (const QString& w : words) {
        const QByteArray b = Orvanta::Cp950::encode(w);
        body.replace(b, "<font color=red>" + b + "</font>");
    }
    return bytes.left(from) + body;
}

bool copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QFileInfo& e : QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + '/' + e.fileName();
        if (e.isDir() ? !copyFolder(e.filePath(), target) : !QFile::copy(e.filePath(), target))
            return false;
    }
    return true;
}

class QueryTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Orvanta::Test::requireFixtures())
            GTEST_SKIP();
        m_install = m_dir.path() + "/install";
        ASSERT_TRUE(copyFolder(Orvanta::Test::fixture("jet4-install"), m_install));
    }

    ToolRun query(QStringList arguments)
    {
        arguments.prepend(m_install);
        arguments.prepend("--dir");
        return runQuery(arguments);
    }

    QTemporaryDir m_dir;
    QString m_install;
};

} // namespace

TEST_F(QueryTool, ListsEveryDocumentNewestFirst)
{
    const ToolRun r = query({""});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList out = lines(r.out);
    ASSERT_EQ(out.size(), 16);
    EXPECT_EQ(out[0], "1\t金匱要略．人參湯\tdata\\a003.htm");
    EXPECT_EQ(out[5], "6\t同日甲\tdata\\a008.htm");
    EXPECT_EQ(out[6], "7\t同日乙\tdata\\a009.htm");
    EXPECT_EQ(out[9], "10\t前導反斜線\t\\data\\a011.htm");
    EXPECT_EQ(out[10], "11\t大小寫不同\tDATA\\A012.HTM");
    EXPECT_EQ(out[15], "16\t無日期\tdata\\a010.htm");
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

TEST_F(QueryTool, ListsInTheOrderOfTheSearch)
{
    const ToolRun all = query({"人參"});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(lines(all.out), QStringList({"1\t金匱要略．人參湯\tdata\\a003.htm",
                                           "2\t傷寒論．太陽病上\tdata\\a001.htm",
                                           "3\t本草．人參\tdata\\a004.htm",
                                           "4\t全形　空格\tdata\\a013.htm",
                                           "5\t古代\tdata\\a014.htm"}));

    // Any word: engine order, no sorting.
    const ToolRun any = query({"--", "+當歸 黃耆"});
    EXPECT_EQ(any.status, 0);
    EXPECT_EQ(lines(any.out), QStringList({"1\t同日甲\tdata\\a008.htm", "2\t同日乙\tdata\\a009.htm",
                                           "3\t無日期\tdata\\a010.htm"}));

    // A query that begins with one "-" needs no separator. 全形　空格 holds
    // both words around an ideographic space.
    const ToolRun minus = query({"-人參 甘草"});
    EXPECT_EQ(minus.status, 0);
    EXPECT_EQ(lines(minus.out), QStringList({"1\t金匱要略．人參湯\tdata\\a003.htm",
                                             "2\t傷寒論．太陽病上\tdata\\a001.htm",
                                             "3\t全形　空格\tdata\\a013.htm"}));
}

TEST_F(QueryTool, SqlLine)
{
    const ToolRun r = query({"--sql", "+人參 甘草"});
    EXPECT_EQ(r.status, 0);
    const QStringList out = lines(r.out);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(out[0], "mod4\tselect subject,htm from  maindata where 1=2  or content like '%人參%'   or content like '%甘草%' ");

    const ToolRun trimmed = query({"--sql", "  it's  "});
    ASSERT_FALSE(lines(trimmed.out).isEmpty());
    EXPECT_EQ(lines(trimmed.out)[0],
              "mod3a\tselect subject,htm from  maindata where 1=1 and content like '%it'&chr(39)&'s%' order by [date] desc ");
    EXPECT_EQ(lines(trimmed.out).size(), 2);

    const ToolRun all = query({"", "--sql"});
    ASSERT_FALSE(lines(all.out).isEmpty());
    EXPECT_EQ(lines(all.out)[0], "mod1\tselect subject,htm from  maindata order by date desc");
    EXPECT_EQ(lines(all.out).size(), 17);
}

TEST_F(QueryTool, PageBytes)
{
    // Row 1 of "人參" is data\a003.htm; 人參 is A4 48 B0 D1 in code page 950.
    const QByteArray source = Orvanta::Test::readFile(m_install + "/data/a003.htm");
    ASSERT_TRUE(source.contains("\xA4\x48\xB0\xD1"));
    const QByteArray expected = marked(source, {"人參"});
    EXPECT_EQ(expected.count("<font color=red>\xA4\x48\xB0\xD1</font>"), 3) << "in the heading and the text, not the title";

    const ToolRun r = query({"--page", "1", "人參"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, expected);
    EXPECT_FALSE(QFileInfo::exists(m_install + "/tmp")) << "the install folder's tmp is not used";

    // Mode "mod1": no words, the page comes back as it was read.
    const ToolRun plain = query({"--page", "1", ""});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, source);

    // Mode "mod4": the "+" is not a word.
    const ToolRun any = query({"--page=3", "+人參 甘草"});
    EXPECT_EQ(any.status, 0);
    EXPECT_EQ(any.out, marked(source, {"人參", "甘草"})) << "row 3 of the any-word search is a003.htm";
}

TEST_F(QueryTool, PageOfSpecialRows)
{
    // Row 0: the header's caption as a path; nothing to read.
    const ToolRun header = query({"--page", "0", ""});
    EXPECT_EQ(header.status, 0);
    EXPECT_TRUE(header.out.isEmpty());

    // A row whose page does not exist.
    const ToolRun missing = query({"--page", "1", "缺頁"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_TRUE(missing.out.isEmpty());

    // Paths in other letter case and with a leading "\".
    const ToolRun upper = query({"--page", "1", "大小寫"});
    EXPECT_EQ(upper.out, marked(Orvanta::Test::readFile(m_install + "/data/a012.htm"), {"大小寫"}));
    const ToolRun leading = query({"--page", "1", "反斜線 路徑"});
    EXPECT_EQ(leading.out, marked(Orvanta::Test::readFile(m_install + "/data/a011.htm"), {"反斜線", "路徑"}));

    // The long page keeps its end.
    const ToolRun longPage = query({"--page", "1", "龍骨尾"});
    EXPECT_EQ(longPage.status, 0);
    const QString text = Orvanta::Cp950::decode(longPage.out);
    EXPECT_EQ(text.count("<font color=red>龍骨尾</font>"), 1);
    EXPECT_GT(longPage.out.size(), 600000);

    const ToolRun beyond = query({"--page", "6", "人參"});
    EXPECT_EQ(beyond.status, 64);
}

TEST_F(QueryTool, NothingFound)
{
    const ToolRun r = query({"-不存在的詞"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(lines(r.err), QStringList({" 全文檢索搜尋\u3000[ 不存在的詞 ]\u3000資料不存在"}));

    const ToolRun plus = query({"+"});
    EXPECT_EQ(plus.status, 1);
    EXPECT_EQ(lines(plus.err), QStringList({" 全文檢索搜尋\u3000[  ]\u3000資料不存在"}));

    const ToolRun apostrophe = query({"it's gone"});
    EXPECT_EQ(apostrophe.status, 1);
    EXPECT_EQ(lines(apostrophe.err), QStringList({" 全文檢索搜尋\u3000[ it'&chr(39)&'s gone ]\u3000資料不存在"}));
}

TEST_F(QueryTool, Repeat)
{
    const ToolRun r = query({"--repeat", "3", "人參"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines(r.out).size(), 5);
    const QStringList err = lines(r.err);
    ASSERT_EQ(err.size(), 3);
    const QRegularExpression shape("^search_ms=[0-9]+(\\.[0-9]+)? rows=5$");
    for (const QString& line : err)
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();

    // One run is timed too; without --repeat nothing is.
    const ToolRun once = query({"--repeat", "1", "人參"});
    ASSERT_EQ(lines(once.err).size(), 1);
    EXPECT_TRUE(shape.match(lines(once.err).front()).hasMatch());
    EXPECT_TRUE(lines(query({"人參"}).err).isEmpty());
}

TEST_F(QueryTool, CurrentFolderIsTheDefault)
{
    const ToolRun r = runQuery({"甘草"}, m_install);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(r.out.isEmpty());
}

// A damaged collection that opens says what was lost on standard error, at
// every run; the exit code still says only whether anything was found.
TEST_F(QueryTool, DamagedCollectionWarnsOnStandardError)
{
    const QString path = m_install + "/jst.mdb";
    const QByteArray bytes = Orvanta::Test::withLastLongValuePageZeroed(Orvanta::Test::readFile(path));
    ASSERT_FALSE(bytes.isEmpty());
    QFile::remove(path);
    Orvanta::Test::writeFile(path, bytes);

    const ToolRun all = query({""});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(lines(all.out).size(), 16);
    const QStringList warning = lines(all.err);
    ASSERT_EQ(warning.size(), 1) << all.err.toStdString();
    EXPECT_TRUE(warning.front().startsWith("orvanta-query: warning: The database ")) << all.err.toStdString();
    EXPECT_TRUE(warning.front().contains(QStringLiteral("1 document is affected"))) << all.err.toStdString();
    EXPECT_TRUE(warning.front().contains(QStringLiteral("長文"))) << all.err.toStdString();

    // The end of the long memo went with the page: its words find nothing.
    const ToolRun lost = query({QStringLiteral("龍骨尾")});
    EXPECT_EQ(lost.status, 1);
    EXPECT_TRUE(lost.out.isEmpty());
    EXPECT_EQ(lines(lost.err).size(), 2) << lost.err.toStdString();
    EXPECT_EQ(lines(lost.err).value(0), warning.front());
}

TEST(QueryToolErrors, MissingDatabaseIsAnError)
{
    QTemporaryDir empty;
    const ToolRun r = runQuery({"--dir", empty.path(), ""});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QRegularExpression("^error [0-9]+: .+\n$").match(QString::fromUtf8(r.err)).hasMatch())
        << r.err.toStdString();
}

TEST(QueryToolErrors, BadUsage)
{
    const std::vector<QStringList> cases = {
        {},
        {"--sql"},
        {"--nosuch", "x"},
        {"--repeat", "0", "x"},
        {"--repeat", "many", "x"},
        {"--page", "-1", "x"},
        {"--page", "x"},
        {"--dir"},
        {"a", "b"},
        {"--sql=yes", "x"},
    };
    for (const QStringList& args : cases) {
        const ToolRun r = runQuery(args);
        EXPECT_EQ(r.status, 64) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(QueryToolErrors, Help)
{
    const ToolRun r = runQuery({"--help"});
    EXPECT_EQ(r.status, 0);
    const QString text = QString::fromUtf8(r.out);
    for (const char* word : {"Usage", "--dir", "--sql", "--page", "--repeat", "search_ms", "64"})
        EXPECT_TRUE(text.contains(word)) << word;
}

// Separators inside values are written as spaces. An SQLite collection is
// opened like a Jet one, which lets the test store such values.
// An SQLite collection in `dir` holding the rows `inserts` makes.
void writeCollection(const QTemporaryDir& dir, const char* inserts)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path() + "/jst.mdb").toUtf8().constData(), &db), SQLITE_OK);
    const std::string sql = std::string("create table maindata (subject text, htm text, content text, date text);") + inserts;
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

TEST(QueryToolValues, SeparatorsInsideValuesBecomeSpaces)
{
    QTemporaryDir dir;
    writeCollection(dir, "insert into maindata values ('a\tb\nc\rd', 'data\\x\t.htm', 'word', '2001-01-01 00:00:00');"
                         "insert into maindata values (NULL, 'data\\y.htm', 'word', '2000-01-01 00:00:00');");

    const ToolRun r = runQuery({"--dir", dir.path(), "word"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r.out), QStringList({"1\ta b c d\tdata\\x .htm", "2\t\tdata\\y.htm"}));
}

// Characters beyond the Basic Multilingual Plane come out whole, and bytes
// that are no UTF-8 as the replacement character SQLite reads them as.
TEST(QueryToolValues, EveryCharacterAsStored)
{
    QTemporaryDir dir;
    writeCollection(dir, "insert into maindata values ('𠀀𝐀 é' || cast(x'eda080' as text) || 'z', 'data\\𠀁.htm', 'word', "
                         "'2001-01-01');"
                         "insert into maindata values (cast(x'41edb080' as text), '', 'word', '2000-01-01');");

    const ToolRun r = runQuery({"--dir", dir.path(), "word"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray("1\t𠀀𝐀 é\xef\xbf\xbdz\tdata\\𠀁.htm\n2\tA\xef\xbf\xbd\t\n"));
}

// Every length of UTF-8, and a separator or other control character at every
// place in and around a run of ASCII, come out as Qt writes them, separators
// as spaces: the rows are written by a converter of our own.
TEST(QueryToolValues, EveryKindOfCharacterAtEveryPlace)
{
    const QStringList pieces = {QStringLiteral("\u0001"), QStringLiteral("\u001f"), QStringLiteral("\u007f"),
                                QStringLiteral("\u0080"), QStringLiteral("é"), QStringLiteral("\u07ff"),
                                QStringLiteral("\u0800"), QStringLiteral("人參"), QStringLiteral("\ud7ff"),
                                QStringLiteral("\ue000"), QStringLiteral("\ufffc"), QStringLiteral("𠀀"),
                                QStringLiteral("\t"), QStringLiteral("\n"), QStringLiteral("\r"), QStringLiteral(" "),
                                QStringLiteral("~"), QStringLiteral("abcdefgh"), QStringLiteral("\\s001.htm")};
    QStringList values;
    for (int before = 0; before <= 9; ++before) {
        for (const QString& piece : pieces)
            values << QString(before, QLatin1Char('x')) + piece + QStringLiteral("yyyyyyy") + piece;
    }
    // And mixes of every kind, of every length up to 40 units.
    std::mt19937 rng(7);
    for (int n = 0; n < 300; ++n) {
        QString value;
        const int length = int(rng() % 41);
        while (value.size() < length)
            value += pieces[qsizetype(rng() % unsigned(pieces.size()))];
        values << value;
    }

    QTemporaryDir dir;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path() + "/jst.mdb").toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "create table maindata (subject text, htm text, content text, date text)", nullptr,
                           nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "insert into maindata values (?1, ?2, 'word', ?3)", -1, &insert, nullptr),
              SQLITE_OK);
    QByteArray expected;
    for (int i = 0; i < values.size(); ++i) {
        // The title is the value; the path is the value backwards, so that
        // each piece also ends a field.
        QString path = values[i];
        std::reverse(path.begin(), path.end());
        // Reversing turned each surrogate pair round; turn it back.
        for (qsizetype k = 0; k + 1 < path.size(); ++k) {
            if (path[k].isLowSurrogate() && path[k + 1].isHighSurrogate())
                std::swap(path[k], path[k + 1]);
        }
        const QByteArray date = QByteArray::number(900000 - i);
        sqlite3_bind_text16(insert, 1, values[i].utf16(), int(values[i].size() * 2), SQLITE_TRANSIENT);
        sqlite3_bind_text16(insert, 2, path.utf16(), int(path.size() * 2), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
        const auto spaced = [](QString text) {
            for (QChar separator : {QChar('\t'), QChar('\n'), QChar('\r')})
                text.replace(separator, QChar(' '));
            return text;
        };
        const QString line = QString::number(i + 1) + '\t' + spaced(values[i]) + '\t' + spaced(path) + '\n';
        expected += line.toUtf8();
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);

    const ToolRun r = runQuery({"--dir", dir.path(), "word"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QByteArray> got = r.out.split('\n');
    const QList<QByteArray> want = expected.split('\n');
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].toHex(' ').toStdString(), want[i].toHex(' ').toStdString()) << "row " << i + 1;
}
