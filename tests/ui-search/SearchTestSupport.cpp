#include "SearchTestSupport.h"

#include "app/startscreen/FrmIni.h"
#include "app/forms/Form.h"
#include "app/forms/ProgramEnd.h"
#include "app/core/modVelmora.h"
#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"
#include "platform/ui/MessageBox.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "support/Fixtures.h"

#include "criteria/frmBrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QEvent>
#include <QFile>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

namespace Orvanta::Test {

void SearchWindowTest::SetUp()
{
    ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    folder = QDir(dir.path()).canonicalPath();
    Paths::setInstallFolderForTesting(folder);
    modVelmora::gConnStr = modVelmora::connectionStringFor(folder);
    MessageSink::setRecorder([this](QString caption, QString text) { messages.push_back({caption, text}); });
    Printer::setCurrentForTesting(&printer);
    writeFile(local(QStringLiteral("Help.htm")), "<html><body><p id=help>Help</p></body></html>");
}

void SearchWindowTest::TearDown()
{
    Forms::unload<FrmVelmoraMain>();
    Forms::unload<FrmIni>();
    Forms::unload<frmBrowser>();
    ProgramEnd::setAction({});
    flushDeletions();
    Printer::setCurrentForTesting(nullptr);
    MessageSink::setRecorder({});
    Paths::setInstallFolderForTesting({});
}

QString SearchWindowTest::local(const QString& relative) const
{
    return folder + QLatin1Char('/') + relative;
}

QByteArray SearchWindowTest::readLocal(const QString& relative) const
{
    return readFile(local(relative));
}

void SearchWindowTest::makeCollection(const std::vector<Document>& documents)
{
    const QString path = local(QStringLiteral("jst.mdb"));
    QFile::remove(path);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    auto exec = [db](const char* sql) {
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
        EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
    };
    exec("CREATE TABLE maindata (ID INTEGER PRIMARY KEY, subject TEXT, htm TEXT, content TEXT, date TEXT)");
    exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO maindata (subject, htm, content, date) VALUES (?, ?, ?, ?)", -1,
                                 &insert, nullptr),
              SQLITE_OK);
    for (const Document& d : documents) {
        const QByteArray s = d.subject.toUtf8(), h = d.htm.toUtf8(), c = d.content.toUtf8(), t = d.date.toUtf8();
        sqlite3_bind_text(insert, 1, s.constData(), int(s.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, h.constData(), int(h.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, c.constData(), int(c.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
        if (!d.page.isNull()) {
            QString relative = d.htm;
            relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
            writeFile(local(relative), Cp950::encode(d.page));
        }
    }
    sqlite3_finalize(insert);
    exec("COMMIT");
    sqlite3_close(db);
}

void SearchWindowTest::makeNumberedCollection(int n)
{
    std::vector<Document> documents;
    documents.reserve(n);
    for (int i = 1; i <= n; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0'));
        // Row i of the result is document i: its date falls as i grows.
        documents.push_back({QStringLiteral("標題") + number, QStringLiteral("data\\d") + number + ".htm",
                             QStringLiteral("內容 甲 ") + number,
                             QStringLiteral("%1-01-01").arg(2900 - i, 4, 10, QLatin1Char('0')),
                             QStringLiteral("<p>頁") + number + QStringLiteral(" 甲</p>")});
    }
    makeCollection(documents);
}

FrmVelmoraMain& SearchWindowTest::loadWindow()
{
    return Forms::load<FrmVelmoraMain>();
}

FrmVelmoraMain& SearchWindowTest::showWindow()
{
    FrmVelmoraMain& w = Forms::show<FrmVelmoraMain>();
    if (!QTest::qWaitForWindowActive(&w))
        ADD_FAILURE() << "the search window did not become active";
    return w;
}

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QString counterText(int row)
{
    return QStringLiteral("第") + QString::number(row) + QStringLiteral("筆");
}

} // namespace Orvanta::Test

namespace Orvanta::Test {

void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key_unknown,
                            QString(c), Qt::NoModifier);
}

QStringList historyOf(const QueryBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

QStringList useContextMenu(const std::function<void()>& open, const std::function<void(QMenu&)>& use)
{
    QStringList entries;
    bool done = false;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || done)
            return;
        done = true;
        for (const QAction* action : menu->actions())
            entries << action->text();
        use(*menu);
    });
    poll.start();
    open();
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        ADD_FAILURE() << "no menu came up";
    poll.stop();
    return entries;
}

QAction* menuEntry(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

const QString kBig5Head =
    QStringLiteral("<html><head><meta http-equiv=Content-Type content=\"text/html; charset=big5\"></head><body>");

QString big5Page(const QString& body)
{
    return kBig5Head + body + QStringLiteral("</body></html>");
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
}

} // namespace Orvanta::Test
