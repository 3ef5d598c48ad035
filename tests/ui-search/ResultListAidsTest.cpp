// What follows the result list in the search window, with the real widgets
// and the real web engine: the number found under it, the list saved from
// its menu, and the find bar and the list's tooltip following its rows.
#include "PageProbe.h"
#include "SearchTestSupport.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/FindBar.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/SaveFileDialog.h"
#include "platform/ui/Twips.h"
#include "platform/ui/ViewHistory.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/SelectionQuery.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <functional>

using namespace Orvanta;
using namespace Orvanta::Test;

TEST_F(SearchWindowTest, TheNumberFoundStandsInTheFreeStripUnderTheList)
{
    makeNumberedCollection(1234);
    FrmVelmoraMain& w = showWindow();
    QLabel& found = *w.FoundCount();
    EXPECT_EQ(found.text(), QStringLiteral("找到 1,234 筆"));
    EXPECT_TRUE(found.isVisible());

    const struct {
        QString query;
        QString text;
    } searches[] = {
        {QStringLiteral("0012"), QStringLiteral("找到 11 筆")},    // 00012 and 00120 to 00129
        {QStringLiteral("甲"), QStringLiteral("找到 1,234 筆")},
        {QStringLiteral("01234"), QStringLiteral("找到 1 筆")},
        {QStringLiteral("沒有這個字"), QStringLiteral("找到 1 筆")}, // nothing found: the list and its number stay
    };
    for (const auto& s : searches) {
        w.TxtQuery()->setEditText(s.query);
        w.RunSearch();
        EXPECT_EQ(found.text(), s.text) << s.query.toStdString();
        EXPECT_EQ(found.text(), FrmVelmoraMain::foundCountText(w.Grd1()->rowCount() - 1));
    }

    // In the strip the design leaves free: inside the client area, below the
    // list, clear of every designed control and of 異體字; every caption of
    // the design as it was. At the designed client size (the load step sizes
    // the frame, which an offscreen window does not have).
    w.resize(pxSize(12000, 8730));
    QRect r = found.geometry();
    EXPECT_TRUE(QRect(QPoint(0, 0), pxSize(12000, 8730)).contains(r)) << r.x() << "," << r.y();
    EXPECT_GE(r.top(), w.Grd1()->geometry().bottom());
    EXPECT_GT(r.width(), found.fontMetrics().horizontalAdvance(QStringLiteral("找到 140,831 筆")));
    EXPECT_GE(r.height(), found.fontMetrics().height());
    for (QWidget* control : std::initializer_list<QWidget*>{w.TxtQuery(), w.Command1(), w.ct(), w.Grd1(), w.LblDesc(),
                                                            w.ChkVariants()})
        EXPECT_FALSE(control->geometry().intersects(r)) << control->objectName().toStdString();
    EXPECT_EQ(w.Grd1()->geometry(), QRect(px(200), px(1200), px(3520), px(7125)));
    EXPECT_EQ(w.windowTitle(), FrmVelmoraMain::caption());
    EXPECT_EQ(w.Grd1()->text(0, 0), QStringLiteral(" 內容標題 或 查詢結果"));

    // A grown window: still under the list, inside the window, clear of 異體字.
    w.resize(1400, 1000);
    r = found.geometry();
    EXPECT_TRUE(w.rect().contains(r)) << r.x() << "," << r.y();
    EXPECT_GE(r.top(), w.Grd1()->geometry().bottom());
    EXPECT_FALSE(w.ChkVariants()->geometry().intersects(r));
    EXPECT_TRUE(found.isVisible());
}

TEST_F(SearchWindowTest, TheResultListIsSavedWholeOrNotAtAll)
{
    makeCollection({{"傷寒論\t卷一", "data\\a.htm", "甘草", "1900-01-03", big5Page(QStringLiteral("<p>一</p>"))},
                    {"金匱\r\n要略", "data\\b.htm", "甘草", "1900-01-02", big5Page(QStringLiteral("<p>二</p>"))},
                    {"溫病條辨", "data\\sub dir\\c.htm", "乾薑", "1900-01-01", big5Page(QStringLiteral("<p>三</p>"))}});
    FrmVelmoraMain& w = showWindow();
    const QByteArray everything = "傷寒論 卷一\tdata\\a.htm\n金匱  要略\tdata\\b.htm\n溫病條辨\tdata\\sub dir\\c.htm\n";
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString into = out.filePath(QStringLiteral("清單.tsv"));
    const QString old = out.filePath(QStringLiteral("old.tsv"));
    writeFile(old, "the old list\n");
    writeFile(out.filePath(QStringLiteral("a file")), "x");
    QDir(out.path()).mkdir(QStringLiteral("a folder"));

    const struct {
        const char* what;
        QString query;
        QString path;
        QByteArray content; // what the file holds afterwards; null: there is none
        const char* cause;  // of the message; null: no message
    } cases[] = {
        {"every row", QString(), into, everything, nullptr},
        {"the rows of the last search", QStringLiteral("甘草"), into,
         "傷寒論 卷一\tdata\\a.htm\n金匱  要略\tdata\\b.htm\n", nullptr},
        {"a file replaced", QStringLiteral("乾薑"), old, "溫病條辨\tdata\\sub dir\\c.htm\n", nullptr},
        {"no such folder", QString(), out.filePath(QStringLiteral("missing/清單.tsv")), QByteArray(), "資料夾不存在"},
        {"a file for a folder", QString(), out.filePath(QStringLiteral("a file/清單.tsv")), QByteArray(), "資料夾不存在"},
        {"a folder for the file", QString(), out.filePath(QStringLiteral("a folder")), QByteArray(), "無法寫入"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        w.TxtQuery()->setEditText(c.query);
        w.RunSearch();
        messages.clear();
        const QStringList before = QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const bool saved = w.saveResultList(c.path);
        EXPECT_EQ(saved, c.cause == nullptr);
        if (c.cause) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].text,
                      QStringLiteral("無法儲存結果清單「%1」（%2）。\n檔案沒有寫入，請選擇其他位置。")
                          .arg(QDir::toNativeSeparators(c.path), QString::fromUtf8(c.cause)));
            EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before)
                << "nothing left behind";
            EXPECT_TRUE(QFileInfo(out.filePath(QStringLiteral("a folder"))).isDir());
        } else {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(readFile(c.path), c.content);
        }
    }

    // A folder that lets nothing in (not for root, who may write anywhere).
    QDir(out.path()).mkdir(QStringLiteral("locked"));
    const QString locked = out.filePath(QStringLiteral("locked"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable()) {
        std::cerr << "running as root: the locked folder is not tried\n";
    } else {
        messages.clear();
        EXPECT_FALSE(w.saveResultList(locked + QStringLiteral("/清單.tsv")));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("（沒有權限）")));
        EXPECT_TRUE(QDir(locked).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // From the list's own menu, through the dialog (answered here).
    w.TxtQuery()->setEditText(QString());
    w.RunSearch();
    messages.clear();
    const QString fromMenu = out.filePath(QStringLiteral("從選單.tsv"));
    QString asked;
    SaveFileDialog::setAnswerer([&](QString caption, QString suggested) {
        asked = caption + QLatin1Char('|') + QFileInfo(suggested).fileName();
        return fromMenu;
    });
    // The menu key (or a right click, which the window system turns into the
    // same event) on a row of the list.
    const auto menuKey = [&] {
        QWidget* rows = w.Grd1()->viewport();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(40, 30), rows->mapToGlobal(QPoint(40, 30)));
        QApplication::sendEvent(rows, &event);
    };
    const QStringList entries = useContextMenu(menuKey, [&](QMenu& menu) {
        QAction* save = menuEntry(menu, FrmVelmoraMain::saveResultListCaption());
        ASSERT_NE(save, nullptr);
        EXPECT_TRUE(save->isEnabled());
        menu.close();
        save->trigger();
    });
    SaveFileDialog::setAnswerer({});
    EXPECT_EQ(entries, QStringList{QStringLiteral("儲存結果清單…")});
    EXPECT_EQ(asked, QStringLiteral("儲存結果清單|結果清單.tsv"));
    EXPECT_EQ(readFile(fromMenu), everything);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SearchWindowTest, TheFindBarFindsAgainInEveryRowsPage)
{
    makeCollection({{"三個", "data\\a.htm", "甘草", "1900-01-03", big5Page(QStringLiteral("<p>甘草 人參 甘草</p><p>甘草</p>"))},
                    {"兩個", "data\\b.htm", "甘草", "1900-01-02", big5Page(QStringLiteral("<p>甘草 乾薑 甘草</p>"))},
                    {"沒有", "data\\c.htm", "乾薑", "1900-01-01", big5Page(QStringLiteral("<p>乾薑</p>"))}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("甘草 人參 甘草")));
    w.Grd1()->takeFocus();
    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(view.findBarOpen());
    view.findBar()->field()->insert(QStringLiteral("甘草"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("1 / 3"); }, 20000));
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("2 / 3"); }, 20000));

    // Each row shows its own count, from its first match: the page's own
    // finding ran again in the new page (the highlights are looked at on an
    // X server, in the end-to-end test).
    const struct {
        Qt::Key key;
        int row;
        QString count;
    } steps[] = {
        {Qt::Key_Down, 2, QStringLiteral("1 / 2")},
        {Qt::Key_Down, 3, QStringLiteral("沒有符合的文字")},
        {Qt::Key_Up, 2, QStringLiteral("1 / 2")},
        {Qt::Key_Up, 1, QStringLiteral("1 / 3")},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.row);
        w.Grd1()->takeFocus();
        press(s.key);
        ASSERT_EQ(w.Grd1()->currentRow(), s.row);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == s.count; }, 20000))
            << view.findBar()->countText().toStdString();
        EXPECT_TRUE(view.findBarOpen());
    }
    // Closed, the bar finds nothing in later pages.
    press(Qt::Key_Escape);
    ASSERT_FALSE(view.findBarOpen());
    w.Grd1()->takeFocus();
    press(Qt::Key_Down);
    QTest::qWait(1000);
    EXPECT_EQ(view.findBar()->countText(), QString());
    EXPECT_FALSE(view.hasSelection());
}

TEST_F(SearchWindowTest, TheListsTooltipGoesWhenItsRowsMoveUnderARestingMouse)
{
    makeNumberedCollection(300);
    FrmVelmoraMain& w = showWindow();
    ResultGrid& grid = *w.Grd1();
    const struct {
        const char* what;
        std::function<void()> move;
    } moves[] = {
        {"Page Down", [] { press(Qt::Key_PageDown); }},
        {"Ctrl+End", [] { press(Qt::Key_End, Qt::ControlModifier); }},
        {"Ctrl+Home", [] { press(Qt::Key_Home, Qt::ControlModifier); }},
        {"Down", [] { press(Qt::Key_Down); }},
        {"the scroll bar", [&] { grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->value() + 3); }},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.what);
        grid.takeFocus();
        // The mouse comes to rest on the fourth row and its tooltip shows.
        const QPoint at(40, grid.rowViewportPosition(3) + 5);
        QTest::mouseMove(grid.viewport(), at);
        QTest::qWait(50);
        const QString title = grid.text(grid.rowAt(at.y()) + 1, 0);
        ASSERT_EQ(grid.toolTipText(), title);
        QToolTip::showText(grid.viewport()->mapToGlobal(at), title, &grid);
        ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
        m.move();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000)) << "still shows " << title.toStdString();
    }

    // A tooltip of another control stays when the list moves.
    grid.takeFocus();
    QToolTip::showText(w.ct()->mapToGlobal(QPoint(5, 5)), w.ct()->toolTip(), w.ct());
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->value() + 3);
    QTest::qWait(200);
    EXPECT_TRUE(QToolTip::isVisible());
    QToolTip::hideText();
}
