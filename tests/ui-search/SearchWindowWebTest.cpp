// The search window with the real web engine: the view shows the marked
// temporary page, and shows it anew at every row change although its path
// never changes.
#include "PageProbe.h"
#include "SearchTestSupport.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWebEnginePage>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

int redMarks(DocumentView& view)
{
    const QVariant count = evaluate(view.page(), QStringLiteral("document.querySelectorAll('font[color=red]').length"));
    return count.isValid() ? count.toInt() : -1;
}

} // namespace

TEST_F(SearchWindowTest, ViewShowsTheMarkedPageAtEveryRowChange)
{
    makeCollection({
        {"三處", "data\\a.htm", "甘草 人參 乾薑", "1900-01-03",
         "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=big5\"></head>"
         "<body><p>甘草 人參 甘草 乾薑 甘草</p></body></html>"},
        {"一處", "data\\b.htm", "甘草", "1900-01-02", "<html><body><p>只有甘草一次</p></body></html>"},
        {"無", "data\\c.htm", "其他", "1900-01-01", "<html><body><p>無</p></body></html>"},
    });
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();

    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    QTest::mouseClick(w.Command1(), Qt::LeftButton);
    ASSERT_EQ(w.Grd1()->rowCount(), 3);
    ASSERT_EQ(w.Grd1()->currentRow(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return redMarks(view) == 3; }, 30000)) << redMarks(view);
    EXPECT_TRUE(bodyText(view).contains(QStringLiteral("甘草 人參 甘草 乾薑 甘草")));

    // Down to row 2: the same path, now another page.
    w.Grd1()->setFocus();
    QTest::keyClick(w.Grd1(), Qt::Key_Down);
    ASSERT_EQ(w.Grd1()->currentRow(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bodyText(view).contains(QStringLiteral("只有甘草一次")); }, 30000));
    EXPECT_EQ(redMarks(view), 1);

    // A new query over the same rows: marks follow the box.
    w.TxtQuery()->setEditText(QStringLiteral("+人參 乾薑"));
    w.RunSearch();
    ASSERT_EQ(w.Grd1()->rowCount(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return redMarks(view) == 2; }, 30000)) << redMarks(view);

    // A picture of the window after these searches, for the record.
    const QString shot = qEnvironmentVariable("ORVANTA_SEARCH_WINDOW_SHOT");
    if (!shot.isEmpty()) {
        w.TxtQuery()->setEditText(QString());
        w.RunSearch();
        QTest::qWaitFor([&] { return bodyText(view).contains(QStringLiteral("甘草 人參")); }, 30000);
        QTest::qWait(500);
        QImage image = w.grab().toImage();
        image.save(shot);
    }
}
