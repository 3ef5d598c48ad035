// The query button over a real install folder: one press loads the search
// window, whose first search unloads the start screen while the start
// screen's own click handler is still running.
#include "AppTestSupport.h"

#include "app/startscreen/FrmIni.h"
#include "app/forms/Handler.h"
#include "app/forms/ProgramEnd.h"
#include "search/FrmVelmoraMain.h"
#include "platform/ui/PictureButton.h"
#include "support/Fixtures.h"

#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QDir>
#include <QTest>

namespace Orvanta::Test {
namespace {

class QueryButton : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (!requireFixtures())
            GTEST_SKIP();
        copyTree(fixture(QStringLiteral("jet4-install")), folder);
    }
    void TearDown() override
    {
        Forms::unload<FrmVelmoraMain>();
        AppTest::TearDown();
    }

    static void copyTree(const QString& from, const QString& to)
    {
        QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString source = it.next();
            const QString target = to + source.mid(from.size());
            if (it.fileInfo().isDir())
                QDir().mkpath(target);
            else
                QFile::copy(source, target);
        }
    }
};

TEST_F(QueryButton, OnePressReplacesTheStartScreenWithTheSearchWindow)
{
    int ends = 0;
    ProgramEnd::setAction([&] { ++ends; });
    QPointer<FrmIni> start;
    runHandler([&] { start = &Forms::show<FrmIni>(); return true; });
    ASSERT_TRUE(start);

    runHandler([&] {
        QTest::mouseClick(start->cmdQuery(), Qt::LeftButton);
        return true;
    });
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
    FrmVelmoraMain* search = Forms::loaded<FrmVelmoraMain>();
    ASSERT_NE(search, nullptr);
    EXPECT_TRUE(search->isVisible());
    EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr) << "the first search unloaded the start screen";
    EXPECT_EQ(ends, 0) << "the search window keeps the program running";
    flushDeletions();
    EXPECT_TRUE(start.isNull());

    // Closing the search window now ends the program.
    runHandler([&] { return search->close(); });
    EXPECT_EQ(ends, 1);
}

// The keyboard clicks a focused picture button as the mouse does: Enter and
// Space on the query button open the search window, Enter on the
// demonstration button launches the demonstration page.
TEST_F(QueryButton, EnterAndSpaceClickTheFocusedButton)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(key);
        FrmIni* start = nullptr;
        runHandler([&] { start = &Forms::show<FrmIni>(); return true; });
        ASSERT_NE(start, nullptr);
        runHandler([&] {
            QTest::keyClick(start->cmdQuery(), key);
            return true;
        });
        EXPECT_NE(Forms::loaded<FrmVelmoraMain>(), nullptr);
        EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr);
        Forms::unload<FrmVelmoraMain>();
        flushDeletions();
    }

    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(170, 60), Qt::red);
    QDir(folder).mkpath(QStringLiteral("demo"));
    writeBytes(QStringLiteral("demo/index.htm"), "<p>demo</p>");
    FrmIni& start = Forms::show<FrmIni>();
    QTest::keyClick(start.cmdSet(), Qt::Key_Return);
    EXPECT_EQ(launches.size(), 1);
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
}

} // namespace
} // namespace Orvanta::Test
