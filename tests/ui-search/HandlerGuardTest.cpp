// Errors stop at the boundary of the handler that raised them, on the paths
// where handlers run inside other handlers: the events processed inside the
// list-everything search, a window's load step run from a button, and a
// handler that fails while a modal message is open. Every event here travels
// through Qt's own dispatch with nothing of the test around it, so an error
// that crossed Qt's code would reach the test body and fail it.
#include "SearchTestSupport.h"

#include "app/WindowLinks.h"
#include "app/forms/Form.h"
#include "app/forms/Handler.h"
#include "app/forms/ProgramEnd.h"
#include "app/startscreen/FrmIni.h"
#include "platform/Error.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace Orvanta::Test {
namespace {

using HandlerGuard = SearchWindowTest;

QString runtimeError(int number, const QString& text)
{
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(text);
}

// Enter in the box with nothing typed lists everything; the search pages down
// and processes the Page Down inside itself. A handler that fails on that
// nested row change is reported there, once, and the search goes on to its
// end; the queued Page Up is handled afterwards as always.
TEST_F(HandlerGuard, AnErrorInsideTheListEverythingSearchStopsAtItsOwnHandler)
{
    makeNumberedCollection(120);
    FrmVelmoraMain& w = showWindow();
    messages.clear();

    std::vector<int> failedAt;
    connectHandler(w.Grd1(), &ResultGrid::currentCellChanged, &w, [&] {
        const int row = w.Grd1()->currentRow();
        if (row > 1) {
            failedAt.push_back(row);
            throw Error(ErrorCode::InvalidProcedureCall, QStringLiteral("row %1").arg(row));
        }
    });

    w.TxtQuery()->setEditText(QString());
    w.TxtQuery()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w.TxtQuery(), Qt::Key_Return);

    ASSERT_EQ(failedAt.size(), 1u) << "only the nested Page Down moved the list down";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, runtimeError(5, QStringLiteral("row %1").arg(failedAt[0])));
    // The search itself went on after the failed nested handler.
    EXPECT_EQ(w.strMode, QStringLiteral("mod1"));
    EXPECT_EQ(w.ct()->text(), counterText(failedAt[0]));
    EXPECT_EQ(ProgramEnd::runningHandlers(), 0);

    QTest::qWait(50);
    EXPECT_EQ(w.Grd1()->currentRow(), 1) << "the queued Page Up was handled";
    EXPECT_EQ(w.ct()->text(), counterText(1));
    EXPECT_EQ(messages.size(), 1u);
}

// The query button loads the search window, whose load step fails on a
// missing database: the error is reported at the button's handler, no search
// window stays behind, the start screen and its button are as before, and the
// same press works once the database is there.
TEST_F(HandlerGuard, AnErrorInTheSearchWindowsLoadStepStopsAtTheQueryButton)
{
    linkWindows();
    int ends = 0;
    ProgramEnd::setAction([&] { ++ends; });
    QPointer<FrmIni> start;
    ASSERT_TRUE(runHandler([&] { start = &Forms::show<FrmIni>(); }));
    ASSERT_TRUE(start);

    QTest::mouseClick(start->cmdQuery(), Qt::LeftButton);
    flushDeletions();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Run-time error '3024':\n\n"))) << messages[0].text.toStdString();
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>(), nullptr);
    ASSERT_TRUE(start);
    EXPECT_EQ(Forms::loaded<FrmIni>(), start.data());
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(start->cmdQuery()->isDown()) << "the button was released";
    EXPECT_EQ(ProgramEnd::runningHandlers(), 0);
    EXPECT_EQ(ends, 0);

    makeNumberedCollection(3);
    messages.clear();
    QTest::mouseClick(start->cmdQuery(), Qt::LeftButton);
    flushDeletions();
    EXPECT_TRUE(messages.empty());
    ASSERT_NE(Forms::loaded<FrmVelmoraMain>(), nullptr);
    EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr) << "the first search unloaded the start screen";
    EXPECT_TRUE(start.isNull());
}

// The search button's "not found" message is a real modal box. While it is
// open another handler fails: its run-time error box opens above it, the
// user closes both, and the search button's handler goes on to record the
// query in the history.
TEST_F(HandlerGuard, AnErrorWhileAModalMessageIsOpenIsReportedAboveIt)
{
    makeNumberedCollection(3);
    FrmVelmoraMain& w = showWindow();
    MessageSink::setRecorder({});

    QTimer failing;
    failing.setSingleShot(true);
    connectHandler(&failing, &QTimer::timeout, &w,
                   [] { throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found")); });

    // Plays the user: starts the failing handler once the first box is up,
    // and closes each box once everything above it is closed.
    std::vector<QString> shown;
    std::vector<QString> closed;
    QPointer<QMessageBox> first;
    QTimer user;
    user.setInterval(10);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!first) {
            first = box;
            shown.push_back(box->text());
            failing.start(0);
            return;
        }
        if (box != first.data() && shown.size() == 1)
            shown.push_back(box->text());
        if (box == first.data() && shown.size() < 2)
            return; // the failing handler has not reported yet
        closed.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
    });
    user.start();

    w.TxtQuery()->setEditText(QStringLiteral("不存在"));
    QTest::mouseClick(w.Command1(), Qt::LeftButton);
    user.stop();

    const QString notFound = QStringLiteral(" 全文檢索搜尋\u3000[ 不存在 ]\u3000資料不存在");
    const QString failure = runtimeError(76, QStringLiteral("Path not found"));
    EXPECT_EQ(shown, (std::vector<QString>{notFound, failure}));
    EXPECT_EQ(closed, (std::vector<QString>{failure, notFound}));
    EXPECT_EQ(historyOf(*w.TxtQuery()).last(), QStringLiteral("不存在")) << "the search button's handler went on";
    EXPECT_FALSE(w.Command1()->isDown());
    EXPECT_EQ(ProgramEnd::runningHandlers(), 0);
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>(), &w);
}

} // namespace
} // namespace Orvanta::Test
