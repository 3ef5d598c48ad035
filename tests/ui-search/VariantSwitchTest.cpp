// The 異體字 check box of the search window, driven through the real widgets:
// it lies in free space, F8 and a click toggle it and search again as Enter
// does, the state outlives the window, the page marks every form, and the
// statement and history are those of the exact search.
#include "SearchTestSupport.h"
#include "platform/text/Cp950.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QTest>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

std::vector<Document> forms()
{
    return {
        {"繁篇", "data\\a.htm", "人參 甘草", "1900-01-04", "<p>人參 甘草</p>"},
        {"俗篇", "data\\b.htm", "人蔘 甘草", "1900-01-03", "<p>人蔘 甘草</p>"},
        {"簡篇", "data\\c.htm", "人参 甘草", "1900-01-02", "<p>人参 甘草</p>"},
        {"他篇", "data\\d.htm", "入參", "1900-01-01", "<p>入參</p>"},
    };
}

bool storedSwitch()
{
    return QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta")).value(QStringLiteral("search/variants")).toBool();
}

} // namespace

class VariantSwitchTest : public SearchWindowTest {
protected:
    void SetUp() override
    {
        SearchWindowTest::SetUp();
        makeCollection(forms());
    }

    void search(FrmVelmoraMain& w, const QString& text)
    {
        w.TxtQuery()->setEditText(text);
        w.TxtQuery()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(w.TxtQuery(), Qt::Key_Return);
    }
};

TEST_F(VariantSwitchTest, LiesInFreeSpaceWithItsCaption)
{
    FrmVelmoraMain& w = showWindow();
    QCheckBox* box = w.ChkVariants();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("異體字"));
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isChecked()) << "exact is the default";
    EXPECT_TRUE(w.rect().contains(box->geometry()));
    for (QWidget* designed : std::initializer_list<QWidget*>{w.TxtQuery(), w.Command1(), w.ct(), w.Grd1(), w.LblDesc()})
        EXPECT_FALSE(box->geometry().intersects(designed->geometry())) << designed->objectName().toStdString();
    // The caption fits the box at the window's design size.
    EXPECT_LE(box->sizeHint().width(), box->width());
    EXPECT_LE(box->sizeHint().height(), box->height());
}

TEST_F(VariantSwitchTest, F8AndClickSearchAgainAsEnterDoes)
{
    FrmVelmoraMain& w = showWindow();
    search(w, QStringLiteral("人參"));
    ASSERT_EQ(w.Grd1()->rowCount(), 2); // header and one row
    const QString sql = w.strSQL;
    const QStringList history = historyOf(*w.TxtQuery());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F8);
    EXPECT_TRUE(w.ChkVariants()->isChecked());
    EXPECT_TRUE(storedSwitch());
    EXPECT_EQ(w.Grd1()->rowCount(), 4) << "人參, 人蔘 and 人参; never 入參";
    EXPECT_EQ(w.strSQL, sql) << "the statement is the exact search's";
    EXPECT_EQ(historyOf(*w.TxtQuery()), history) << "no history entry";
    EXPECT_EQ(w.TxtQuery()->currentText(), QStringLiteral("人參"));

    QTest::mouseClick(w.ChkVariants(), Qt::LeftButton);
    EXPECT_FALSE(w.ChkVariants()->isChecked());
    EXPECT_FALSE(storedSwitch());
    EXPECT_EQ(w.Grd1()->rowCount(), 2);
    EXPECT_EQ(historyOf(*w.TxtQuery()), history);
}

TEST_F(VariantSwitchTest, RememberedAndMarksEveryForm)
{
    QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta")).setValue(QStringLiteral("search/variants"), true);
    FrmVelmoraMain& w = showWindow();
    EXPECT_TRUE(w.ChkVariants()->isChecked());
    search(w, QStringLiteral("人参"));
    ASSERT_EQ(w.Grd1()->rowCount(), 4);
    // The newest first: 繁篇 (人參), then 俗篇 (人蔘).
    w.Grd1()->setCurrentRow(2);
    const QString page = Cp950::decode(readLocal(QStringLiteral("tmp/TmpVORTAN.htm")));
    EXPECT_TRUE(page.contains(QStringLiteral("<font color=red>人蔘</font>"))) << page.toStdString();
    EXPECT_EQ(page.count(QStringLiteral("<font color=red>")), 1);
}
