// Faults on disk met through the real windows: a database that is missing or
// cannot be read, document pages that are folders or empty, no help page, an
// old temporary page that cannot be deleted, and a full disk while the
// criteria editor saves. The program reports what the user must see and goes
// on; nothing is left half-done.
#include "app/WindowLinks.h"
#include "app/startscreen/FrmIni.h"
#include "app/forms/Form.h"
#include "app/forms/ProgramEnd.h"
#include "app/forms/Handler.h"
#include "app/core/modVelmora.h"
#include "criteria/FileList.h"
#include "criteria/TextArea.h"
#include "criteria/frmBrowser.h"
#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/PrivatePage.h"
#include "support/Fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Orvanta::Test {
namespace {

struct Message {
    QString caption, text;
};

struct Page {
    QString subject;
    QString htm;  // relative, "\" separators
    QString date;
};

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QString counterText(int row)
{
    return QStringLiteral("第") + QString::number(row) + QStringLiteral("筆");
}

class DiskFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = QDir(dir.path()).canonicalPath();
        Paths::setInstallFolderForTesting(folder);
        modVelmora::gConnStr = modVelmora::connectionStringFor(folder);
        MessageSink::setRecorder([this](QString caption, QString text) { messages.push_back({caption, text}); });
        // The criteria editor asks before it overwrites a file: yes.
        MessageSink::setAnswerer([this](QString, QString) { return ++questions > 0; });
        ProgramEnd::setAction([this] { ++programEnds; });
        linkWindows();
        writeFile(local(QStringLiteral("Help.htm")), "<html><body><p>Help</p></body></html>");
    }

    void TearDown() override
    {
        Forms::unload<FrmVelmoraMain>();
        Forms::unload<FrmIni>();
        Forms::unload<frmBrowser>();
        flushDeletions();
        ProgramEnd::setAction({});
        MessageSink::setRecorder({});
        MessageSink::setAnswerer({});
        Paths::setInstallFolderForTesting({});
    }

    QString local(const QString& relative) const { return folder + QLatin1Char('/') + relative; }

    // jst.mdb with one row per page, content "甲" everywhere; newest first in
    // the order given.
    void makeCollection(const std::vector<Page>& pages)
    {
        const QString path = local(QStringLiteral("jst.mdb"));
        QFile::remove(path);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        for (const Page& p : pages) {
            const QByteArray sql = QStringLiteral("INSERT INTO maindata VALUES ('%1', '%2', '甲', '%3')")
                                       .arg(p.subject, p.htm, p.date)
                                       .toUtf8();
            EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        }
        sqlite3_close(db);
    }

    // A handler run as the application runs it: an error becomes the run-time
    // error message.
    static void handler(const std::function<void()>& body)
    {
        runHandler([&] {
            body();
            return true;
        });
    }

    // The start screen shown and its query button pressed, as the user does.
    FrmIni* pressQueryButton()
    {
        FrmIni* start = nullptr;
        handler([&] { start = &Forms::show<FrmIni>(); });
        if (!start)
            return nullptr;
        handler([&] { QTest::mouseClick(start->cmdQuery(), Qt::LeftButton); });
        flushDeletions();
        return start;
    }

    QString messageTexts() const
    {
        QString out;
        for (const Message& m : messages)
            out += m.text + QStringLiteral(" | ");
        return out;
    }

    QTemporaryDir dir;
    QString folder;
    std::vector<Message> messages;
    int programEnds = 0;
    int questions = 0;
};

// "Run-time error 'N':", a blank line, a text; gives N or -1.
int errorNumberOf(const Message& m)
{
    static const QRegularExpression shape(QStringLiteral("^Run-time error '(\\d+)':\\n\\n(.+)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = shape.match(m.text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The database failed to open: one message, the start screen still there and
// usable, no search window left behind, and the program still running.
void expectFailedStart(DiskFaults& t, const std::vector<Message>& messages, int programEnds, const char* what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    const int number = errorNumberOf(messages[0]);
    EXPECT_GT(number, 0) << messages[0].text.toStdString();
    std::printf("[ message  ] %s: %s\n", what, qPrintable(QString(messages[0].text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    flushDeletions();
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>(), nullptr) << "no half-loaded search window";
    ASSERT_NE(Forms::loaded<FrmIni>(), nullptr);
    EXPECT_TRUE(Forms::loaded<FrmIni>()->isVisible());
    EXPECT_EQ(programEnds, 0);
    Q_UNUSED(t);
}

TEST_F(DiskFaults, MissingDatabaseLeavesTheStartScreenAndAFixedFolderWorks)
{
    ASSERT_NE(pressQueryButton(), nullptr);
    expectFailedStart(*this, messages, programEnds, "missing");
    EXPECT_EQ(errorNumberOf(messages[0]), 3024) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("jst.mdb"))) << messages[0].text.toStdString();

    // The user puts the database in place and presses the button again.
    makeCollection({{QStringLiteral("甲篇"), QStringLiteral("data\\a.htm"), QStringLiteral("2001-01-01")}});
    writeFile(local(QStringLiteral("data/a.htm")), Cp950::encode(QStringLiteral("<p>甲</p>")));
    messages.clear();
    handler([&] { QTest::mouseClick(Forms::loaded<FrmIni>()->cmdQuery(), Qt::LeftButton); });
    flushDeletions();
    EXPECT_TRUE(messages.empty()) << messageTexts().toStdString();
    ASSERT_NE(Forms::loaded<FrmVelmoraMain>(), nullptr);
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>()->Grd1()->rowCount(), 2);
}

// Running as root, permission bits stop no read: these are databases that
// cannot be read for other reasons.
TEST_F(DiskFaults, UnreadableDatabaseLeavesTheStartScreen)
{
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const std::vector<Case> cases = {
        {"a folder named jst.mdb", [](const QString& p) { ASSERT_TRUE(QDir().mkpath(p)); }},
        {"an empty file", [](const QString& p) { writeFile(p, {}); }},
        {"garbage", [](const QString& p) { writeFile(p, QByteArray(5000, 'x')); }},
        {"a cut SQLite header", [](const QString& p) { writeFile(p, QByteArray("SQLite format 3\0\x10", 18)); }},
        {"a cut Jet header", [](const QString& p) {
             QByteArray bytes(600, '\0');
             bytes.replace(4, 15, "Standard Jet DB");
             writeFile(p, bytes);
         }},
    };
    for (const Case& c : cases) {
        const QString path = local(QStringLiteral("jst.mdb"));
        QDir(path).removeRecursively();
        QFile::remove(path);
        c.make(path);
        messages.clear();
        programEnds = 0; // unloading the last case's start screen ended the program
        ASSERT_NE(pressQueryButton(), nullptr);
        expectFailedStart(*this, messages, programEnds, c.name);
        Forms::unload<FrmIni>();
        flushDeletions();
    }
}

// A FIFO has no end until someone writes: opening the database must not wait
// for a writer. Should it block, a helper opens the other end after a while so
// the test ends, and the test fails.
TEST_F(DiskFaults, FifoInPlaceOfTheDatabaseDoesNotHang)
{
    const QByteArray path = QFile::encodeName(local(QStringLiteral("jst.mdb")));
    ASSERT_EQ(::mkfifo(path.constData(), 0644), 0) << std::strerror(errno);
    std::atomic<bool> done{false};
    std::atomic<bool> rescued{false};
    std::thread rescuer([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done) {
            if (std::chrono::steady_clock::now() > deadline) {
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    rescued = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    FrmIni* start = pressQueryButton();
    done = true;
    rescuer.join();
    EXPECT_FALSE(rescued) << "opening the database waited for a writer on the FIFO";
    ASSERT_NE(start, nullptr);
    expectFailedStart(*this, messages, programEnds, "fifo");
}

// Pages that are a folder or empty give an empty temporary page; the counter
// and the start screen follow the row as usual and no error shows.
TEST_F(DiskFaults, UnreadableAndEmptyPagesGiveAnEmptyTemporaryPage)
{
    makeCollection({
        {QStringLiteral("好頁"), QStringLiteral("data\\good.htm"), QStringLiteral("2003-01-01")},
        {QStringLiteral("資料夾頁"), QStringLiteral("data\\folder.htm"), QStringLiteral("2002-01-01")},
        {QStringLiteral("空頁"), QStringLiteral("data\\empty.htm"), QStringLiteral("2001-01-01")},
    });
    writeFile(local(QStringLiteral("data/good.htm")), Cp950::encode(QStringLiteral("<p>甲</p>")));
    ASSERT_TRUE(QDir().mkpath(local(QStringLiteral("data/folder.htm"))));
    writeFile(local(QStringLiteral("data/empty.htm")), {});

    ASSERT_NE(pressQueryButton(), nullptr);
    FrmVelmoraMain* w = Forms::loaded<FrmVelmoraMain>();
    ASSERT_NE(w, nullptr);
    const QString tmpPage = local(QStringLiteral("tmp/TmpVORTAN.htm"));
    EXPECT_GT(QFileInfo(tmpPage).size(), 0);

    for (int row : {2, 3}) {
        SCOPED_TRACE(row);
        handler([&] { w->Grd1()->setCurrentRow(row); });
        EXPECT_TRUE(QFileInfo(tmpPage).isFile());
        EXPECT_EQ(QFileInfo(tmpPage).size(), 0);
        EXPECT_EQ(w->ct()->text(), counterText(row));
        EXPECT_EQ(w->LblDesc()->locationPath(), w->strTmpPage);
    }
    // Back to the header row: the start screen comes back as usual.
    handler([&] { w->Grd1()->setCurrentRow(0); });
    EXPECT_EQ(w->ct()->text(), counterText(0));
    ASSERT_NE(Forms::loaded<FrmIni>(), nullptr);
    EXPECT_TRUE(messages.empty()) << messageTexts().toStdString();
    EXPECT_TRUE(QDir(local(QStringLiteral("data/folder.htm"))).exists());
}

TEST_F(DiskFaults, MissingHelpPageIsNoError)
{
    makeCollection({{QStringLiteral("甲篇"), QStringLiteral("data\\a.htm"), QStringLiteral("2001-01-01")}});
    writeFile(local(QStringLiteral("data/a.htm")), Cp950::encode(QStringLiteral("<p>甲</p>")));
    ASSERT_TRUE(QFile::remove(local(QStringLiteral("Help.htm"))));
    ASSERT_NE(pressQueryButton(), nullptr);
    EXPECT_TRUE(messages.empty()) << messageTexts().toStdString();
    ASSERT_NE(Forms::loaded<FrmVelmoraMain>(), nullptr);
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>()->ct()->text(), counterText(1));
}

// An old temporary page that cannot be deleted (a folder of that name) is left
// alone: rows change, the view shows the page from the user's own folder,
// unloading deletes nothing of the collection, and no error shows.
TEST_F(DiskFaults, UndeletableOldTemporaryPage)
{
    makeCollection({
        {QStringLiteral("甲篇"), QStringLiteral("data\\a.htm"), QStringLiteral("2002-01-01")},
        {QStringLiteral("乙篇"), QStringLiteral("data\\b.htm"), QStringLiteral("2001-01-01")},
    });
    writeFile(local(QStringLiteral("data/a.htm")), Cp950::encode(QStringLiteral("<p>甲</p>")));
    writeFile(local(QStringLiteral("data/b.htm")), Cp950::encode(QStringLiteral("<p>乙</p>")));
    const QString tmpPage = local(QStringLiteral("tmp/TmpVORTAN.htm"));
    ASSERT_TRUE(QDir().mkpath(tmpPage + QStringLiteral("/inside")));

    ASSERT_NE(pressQueryButton(), nullptr);
    FrmVelmoraMain* w = Forms::loaded<FrmVelmoraMain>();
    ASSERT_NE(w, nullptr);
    handler([&] { w->Grd1()->setCurrentRow(2); });
    EXPECT_EQ(w->ct()->text(), counterText(2));
    const QString shown = w->LblDesc()->locationPath();
    EXPECT_EQ(shown, PrivatePage::path());
    EXPECT_TRUE(readFile(shown).endsWith(Cp950::encode(QStringLiteral("<p>乙</p>"))));
    EXPECT_TRUE(QFileInfo(tmpPage).isDir());
    handler([&] { Forms::unload<FrmVelmoraMain>(); });
    flushDeletions();
    EXPECT_TRUE(QFileInfo(tmpPage).isDir());
    EXPECT_TRUE(QFileInfo(tmpPage + QStringLiteral("/inside")).isDir());
    EXPECT_FALSE(QFileInfo::exists(shown));
    EXPECT_TRUE(messages.empty()) << messageTexts().toStdString();
}

// A collection on read-only media: the tmp folder cannot be made, so each
// page goes to the user's own folder with the marks and a base that points
// into the collection's tmp; nothing is written into the collection.
TEST_F(DiskFaults, ReadOnlyCollectionShowsMarkedPagesFromAPrivateFolder)
{
    makeCollection({
        {QStringLiteral("甲篇"), QStringLiteral("data\\a.htm"), QStringLiteral("2002-01-01")},
        {QStringLiteral("乙篇"), QStringLiteral("data\\b.htm"), QStringLiteral("2001-01-01")},
    });
    writeFile(local(QStringLiteral("data/a.htm")),
              Cp950::encode(QStringLiteral("<html><head></head><img src=\"../data/p.jpg\">甲</html>")));
    writeFile(local(QStringLiteral("data/b.htm")), Cp950::encode(QStringLiteral("<p>乙甲</p>")));
    const ReadOnlyFolder readOnly(folder);
    if (!readOnly.ok())
        GTEST_SKIP() << readOnly.error().toStdString();

    ASSERT_NE(pressQueryButton(), nullptr);
    FrmVelmoraMain* w = Forms::loaded<FrmVelmoraMain>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->strTmpPage, folder + QStringLiteral("\\tmp\\TmpVORTAN.htm")) << "the design's path is kept";
    const QString shown = w->LblDesc()->locationPath();
    EXPECT_EQ(shown, PrivatePage::path());
    const QByteArray base =
        "<base href=\"" + QUrl::fromLocalFile(folder + QStringLiteral("/tmp/TmpVORTAN.htm")).toEncoded() + "\">";
    EXPECT_EQ(readFile(shown), Cp950::encode(QStringLiteral("<html><head>") + QString::fromLatin1(base)
                                             + QStringLiteral("</head><img src=\"../data/p.jpg\">甲</html>")));

    handler([&] { w->TxtQuery()->setEditText(QStringLiteral("甲")); });
    handler([&] { w->Grd1()->setCurrentRow(2); });
    EXPECT_EQ(w->LblDesc()->locationPath(), shown);
    EXPECT_EQ(readFile(shown), base + Cp950::encode(QStringLiteral("<p>乙<font color=red>甲</font></p>")));
    EXPECT_FALSE(QFileInfo::exists(local(QStringLiteral("tmp")))) << "nothing written into the collection";

    handler([&] { Forms::unload<FrmVelmoraMain>(); });
    flushDeletions();
    EXPECT_FALSE(QFileInfo::exists(shown)) << "the private page goes with the window";
    EXPECT_TRUE(messages.empty()) << messageTexts().toStdString();
}

// Saving criteria onto a full disk: the error shows, the old file is still
// whole, and the editor keeps its text.
TEST_F(DiskFaults, FullDiskWhileSavingCriteria)
{
    const QString mountPoint = local(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const QByteArray point = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct Unmount {
        QByteArray point;
        ~Unmount() { ::umount2(point.constData(), MNT_DETACH); }
    } unmount{point};

    const QByteArray oldText = "old line 1\r\nold line 2\r\n";
    writeFile(mountPoint + QStringLiteral("/keep.txt"), oldText);
    // Fill the rest of the file system.
    {
        QFile filler(mountPoint + QStringLiteral("/filler.bin"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(1024, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(mountPoint));
    struct Restore {
        QString path;
        ~Restore() { QDir::setCurrent(path); }
    } restore{before};

    frmBrowser* f = nullptr;
    handler([&] { f = &Forms::show<frmBrowser>(); });
    ASSERT_NE(f, nullptr);
    const QString text = QString(20000, QLatin1Char('n')) + QStringLiteral("\r\n新的內容");
    f->txtBrowser->setText(text);
    const int row = [&] {
        for (int i = 0; i < f->filList->count(); ++i) {
            if (f->filList->item(i)->text() == QStringLiteral("keep.txt"))
                return i;
        }
        return -1;
    }();
    ASSERT_GE(row, 0);
    f->filList->setCurrentRow(row);
    ASSERT_EQ(f->filList->fileName(), QStringLiteral("keep.txt"));

    handler([&] { f->Command1_Click(); });
    EXPECT_EQ(questions, 1) << "keep.txt has content and was not loaded";
    ASSERT_EQ(messages.size(), 1u) << "the full disk is reported";
    EXPECT_EQ(errorNumberOf(messages[0]), 61) << messages[0].text.toStdString();
    EXPECT_EQ(readFile(mountPoint + QStringLiteral("/keep.txt")), oldText) << "the old file stays whole";
    EXPECT_EQ(Forms::loaded<frmBrowser>(), f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->txtBrowser->text(), text);
    Forms::unload<frmBrowser>();
    flushDeletions();
}

} // namespace
} // namespace Orvanta::Test
