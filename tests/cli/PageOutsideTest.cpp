// orvanta-query --page reads a row's page as the window does: a path that
// leads out of the collection is a missing page, and nothing outside is read.
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace {

TEST(QueryToolPage, APathOutOfTheCollectionIsAMissingPage)
{
    QTemporaryDir dir;
    const QString coll = dir.path() + "/coll";
    Orvanta::Test::writeFile(dir.path() + "/outside/secret.txt", "TOPSECRET-42");
    Orvanta::Test::writeFile(coll + "/data/a.htm", "<p>page</p>");
    QDir().mkpath(coll + "/data");
    ASSERT_TRUE(QFile::link(dir.path() + "/outside/secret.txt", coll + "/data/link.htm"));

    struct Case {
        const char* htm;
        QByteArray page;
    };
    const std::vector<Case> cases = {
        {"data\\a.htm", "<p>page</p>"},
        {"\\data\\a.htm", "<p>page</p>"},
        {"..\\outside\\secret.txt", ""},
        {"..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd", ""},
        {"data\\link.htm", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.htm);
        QFile::remove(coll + "/jst.mdb");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(coll + "/jst.mdb").constData(), &db), SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        sqlite3_exec(db, "create table maindata (subject text, htm text, content text, date text)", nullptr, nullptr,
                     nullptr);
        ASSERT_EQ(sqlite3_prepare_v2(db, "insert into maindata values ('t', ?, 'word', '2001-01-01')", -1, &insert,
                                     nullptr),
                  SQLITE_OK);
        sqlite3_bind_text(insert, 1, c.htm, -1, SQLITE_STATIC);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
        sqlite3_close(db);

        QProcess p;
        p.start(Orvanta::Test::binDir() + "/orvanta-query", {"--dir", coll, "--page", "1", "word"});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(p.readAllStandardOutput(), c.page);
    }
}

} // namespace
