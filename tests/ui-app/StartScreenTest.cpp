// The start screen: its load step, the optional pictures that replace the
// built-in ones, the demonstration button and the built-in artwork.
#include "AppTestSupport.h"

#include "app/startscreen/FrmIni.h"
#include "app/forms/Handler.h"
#include "app/core/modVelmora.h"
#include "platform/files/Paths.h"
#include "platform/ui/Artwork.h"
#include "platform/ui/Launcher.h"
#include "platform/ui/PictureButton.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QImageReader>
#include <QPixmap>
#include <QTest>

namespace Orvanta::Test {
namespace {

using StartScreen = AppTest;

QString connectionFor(const QString& folder)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder
        + QStringLiteral("\\jst.mdb;Persist Security Info=False");
}

bool samePicture(const QPixmap& a, const QPixmap& b)
{
    return a.toImage().convertToFormat(QImage::Format_RGB32)
        == b.toImage().convertToFormat(QImage::Format_RGB32);
}

TEST_F(StartScreen, LoadStepPlacesTheWindowAndBuildsTheConnectionString)
{
    FrmIni& f = Forms::load<FrmIni>();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    // 12120 x 9015 twips outside, less the borders: 12000 x 8610 inside.
    EXPECT_EQ(f.size(), QSize(800, 574));
    EXPECT_EQ(f.cmdQuery()->geometry(), QRect(560, 248, 140, 49));
    EXPECT_EQ(f.cmdSet()->geometry(), QRect(560, 368, 140, 49));
    EXPECT_EQ(modVelmora::gConnStr, connectionFor(folder));
    EXPECT_EQ(f.focusWidget(), f.cmdQuery()) << "the query button comes first in the tab order";
    EXPECT_EQ(f.cmdQuery()->nextInFocusChain(), f.cmdSet());
}

TEST_F(StartScreen, ShownWindowHasTheDesignSize)
{
    FrmIni& f = Forms::show<FrmIni>();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.size(), QSize(800, 574));
    EXPECT_TRUE(f.cmdQuery()->isVisible());
    EXPECT_TRUE(f.cmdSet()->isVisible());
    EXPECT_TRUE(f.cmdQuery()->isEnabled());
    EXPECT_TRUE(f.cmdSet()->isEnabled());
}

TEST_F(StartScreen, RootFolderGivesADoubledSeparator)
{
    Paths::setInstallFolderForTesting(QStringLiteral("/"));
    Forms::load<FrmIni>();
    EXPECT_EQ(modVelmora::gConnStr,
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/\\jst.mdb;Persist Security Info=False"));
    EXPECT_EQ(modVelmora::gConnStr, connectionFor(QStringLiteral("/")));
    EXPECT_TRUE(modVelmora::gConnStr.contains(QStringLiteral("/\\jst.mdb")));
}

TEST_F(StartScreen, ASecondLoadGivesTheSameResultAndStaysInvisible)
{
    Forms::show<FrmIni>();
    const QString first = modVelmora::gConnStr;
    Forms::unload<FrmIni>();
    flushDeletions();
    EXPECT_EQ(modVelmora::gConnStr, first) << "never cleared";
    FrmIni& again = Forms::load<FrmIni>();
    EXPECT_EQ(modVelmora::gConnStr, first);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(again.pos(), QPoint(0, 0));
    EXPECT_EQ(again.size(), QSize(800, 574));
}

TEST_F(StartScreen, BuiltInPicturesWhenNoFilesArePresent)
{
    FrmIni& f = Forms::load<FrmIni>();
    EXPECT_TRUE(samePicture(f.picture(), QPixmap(Artwork::startBackground())));
    EXPECT_TRUE(samePicture(f.cmdQuery()->picture(), QPixmap(Artwork::queryButton())));
    EXPECT_TRUE(samePicture(f.cmdQuery()->downPicture(), QPixmap(Artwork::queryButton())));
    EXPECT_TRUE(samePicture(f.cmdSet()->picture(), QPixmap(Artwork::demoButton())));
    EXPECT_TRUE(samePicture(f.cmdSet()->downPicture(), QPixmap(Artwork::demoButton())));
}

TEST_F(StartScreen, PresentPicturesReplaceTheBuiltInOnes)
{
    writeJpeg(QStringLiteral("index.jpg"), QSize(300, 200), Qt::red);
    writeJpeg(QStringLiteral("index-logo1.jpg"), QSize(120, 40), Qt::green);
    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(90, 30), Qt::blue);
    FrmIni& f = Forms::load<FrmIni>();
    EXPECT_EQ(f.picture().size(), QSize(300, 200));
    EXPECT_EQ(f.cmdQuery()->picture().size(), QSize(120, 40));
    EXPECT_EQ(f.cmdQuery()->downPicture().size(), QSize(120, 40));
    EXPECT_EQ(f.cmdSet()->picture().size(), QSize(90, 30));
    EXPECT_EQ(f.cmdSet()->downPicture().size(), QSize(90, 30));
    EXPECT_TRUE(closeColour(f.picture().toImage().pixelColor(150, 100), Qt::red));
}

// Each name in turn as a folder, and as a hidden file: absent, no error.
TEST_F(StartScreen, FoldersAndHiddenFilesCountAsAbsent)
{
    const QStringList names = {QStringLiteral("index.jpg"), QStringLiteral("index-logo1.jpg"),
                               QStringLiteral("index-logo2.jpg")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(QDir(folder).mkdir(name));
        writeJpeg(QLatin1Char('.') + name, QSize(50, 50), Qt::red);
    }
    FrmIni& f = Forms::load<FrmIni>();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(samePicture(f.picture(), QPixmap(Artwork::startBackground())));
    EXPECT_TRUE(samePicture(f.cmdQuery()->picture(), QPixmap(Artwork::queryButton())));
    EXPECT_TRUE(samePicture(f.cmdSet()->picture(), QPixmap(Artwork::demoButton())));

    // Pressing the demonstration button does nothing at all.
    f.cmdSet_Click();
    EXPECT_TRUE(launches.isEmpty());
}

// A present file that is not a picture stops the load step with the run-time
// error; the start screen is then not loaded and the program goes on.
TEST_F(StartScreen, ACorruptPictureGivesTheRunTimeError)
{
    const QStringList names = {QStringLiteral("index.jpg"), QStringLiteral("index-logo1.jpg"),
                               QStringLiteral("index-logo2.jpg")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        messages.clear();
        writeBytes(name, QByteArray("not a picture at all\r\n"));
        runHandler([] { Forms::show<FrmIni>(); return true; });
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
        EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '481':\n\nInvalid picture"));
        EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr);
        ASSERT_TRUE(QFile::remove(local(name)));
    }
    // With the files gone the start screen loads again.
    EXPECT_TRUE(Forms::show<FrmIni>().isVisible());
}

TEST_F(StartScreen, BackgroundIsDrawnAtNaturalSizeFromTheTopLeft)
{
    writeJpeg(QStringLiteral("index.jpg"), QSize(100, 60), QColor(0, 0, 200));
    FrmIni& f = Forms::show<FrmIni>();
    const QImage shot = f.grab().toImage();
    EXPECT_TRUE(closeColour(shot.pixelColor(5, 5), QColor(0, 0, 200)));
    EXPECT_TRUE(closeColour(shot.pixelColor(95, 55), QColor(0, 0, 200)));
    // Past the picture the default background shows, not a scaled copy.
    EXPECT_EQ(shot.pixelColor(300, 300), f.palette().color(QPalette::Window));
    EXPECT_EQ(shot.pixelColor(150, 30), f.palette().color(QPalette::Window));
}

TEST_F(StartScreen, DemonstrationButtonRereadsItsPictureAndLaunchesTheBrowser)
{
    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(90, 30), Qt::blue);
    QDir(folder).mkpath(QStringLiteral("demo"));
    writeBytes(QStringLiteral("demo/index.htm"), "<p>demo</p>");
    FrmIni& f = Forms::show<FrmIni>();
    QTest::mouseClick(f.cmdSet(), Qt::LeftButton);
    ASSERT_EQ(launches.size(), 1);
    EXPECT_EQ(launches[0], folder + QStringLiteral("/demo/index.htm"));

    // A replaced file shows after the next press; every press launches again.
    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(160, 50), Qt::yellow);
    EXPECT_EQ(f.cmdSet()->picture().size(), QSize(90, 30));
    QTest::mouseClick(f.cmdSet(), Qt::LeftButton);
    EXPECT_EQ(launches.size(), 2);
    EXPECT_EQ(f.cmdSet()->picture().size(), QSize(160, 50));
    EXPECT_EQ(f.cmdSet()->downPicture().size(), QSize(160, 50));
    EXPECT_TRUE(messages.empty());
}

// 示範 never does nothing in silence: it names the page it could not find, or
// says that no browser could show it, from xdg-open's exit status (a real
// process, read without waiting). Without its picture it still does nothing.
TEST_F(StartScreen, TheDemonstrationButtonSaysWhatItCouldNotShow)
{
    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(90, 30), Qt::blue);
    FrmIni& f = Forms::show<FrmIni>();
    const QString page = folder + QStringLiteral("/demo/index.htm");

    f.cmdSet_Click();
    EXPECT_TRUE(launches.isEmpty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, QStringLiteral("找不到示範網頁「%1」。").arg(page));

    QDir(folder).mkpath(QStringLiteral("demo"));
    writeBytes(QStringLiteral("demo/index.htm"), "<p>demo</p>");
    QTemporaryDir tools;
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(tools.path()) + ":" + savedPath);
    Launcher::setLauncher({});
    struct Case {
        QByteArray script;
        QString message; // empty: none
    };
    const std::vector<Case> cases = {
        {"exit 3", QStringLiteral("無法啟動瀏覽器來顯示示範網頁「%1」（xdg-open 結束碼 3）。").arg(page)},
        {"exit 4", QStringLiteral("無法啟動瀏覽器來顯示示範網頁「%1」（xdg-open 結束碼 4）。").arg(page)},
        {"kill -9 $$", QStringLiteral("無法啟動瀏覽器來顯示示範網頁「%1」。").arg(page)},
        {"sleep 1; exit 0", {}},
    };
    for (const Case& c : cases) {
        QFile script(tools.path() + QStringLiteral("/xdg-open"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\n" + c.script + "\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        messages.clear();
        QElapsedTimer clock;
        clock.start();
        f.cmdSet_Click();
        EXPECT_LT(clock.elapsed(), 500) << "the window does not wait for the browser";
        if (c.message.isEmpty()) {
            QTest::qWait(2000);
            EXPECT_TRUE(messages.empty()) << c.script.constData();
        } else {
            EXPECT_TRUE(QTest::qWaitFor([this] { return !messages.empty(); }, 10000)) << c.script.constData();
            ASSERT_EQ(messages.size(), 1u) << c.script.constData();
            EXPECT_EQ(messages[0].text, c.message);
        }
    }

    // Without the picture the button does nothing at all.
    QFile::remove(local(QStringLiteral("index-logo2.jpg")));
    QFile::remove(page);
    messages.clear();
    f.cmdSet_Click();
    QTest::qWait(500);
    EXPECT_TRUE(messages.empty());
    qputenv("PATH", savedPath);
}

// orvanta-build --sample lays out what the start screen looks for, so its
// demonstration button opens the sample's page.
TEST_F(StartScreen, ASampleCollectionsDemonstrationButtonOpensItsPage)
{
    QProcess build;
    build.start(binDir() + QStringLiteral("/orvanta-build"), {QStringLiteral("--sample"), QStringLiteral("2"), folder});
    ASSERT_TRUE(build.waitForFinished(60000));
    ASSERT_EQ(build.exitCode(), 0) << build.readAllStandardError().toStdString();

    FrmIni& f = Forms::show<FrmIni>();
    EXPECT_TRUE(samePicture(f.picture(), QPixmap(Artwork::startBackground())));
    EXPECT_TRUE(samePicture(f.cmdQuery()->picture(), QPixmap(Artwork::queryButton())));
    QTest::mouseClick(f.cmdSet(), Qt::LeftButton);
    ASSERT_EQ(launches.size(), 1);
    EXPECT_EQ(launches[0], folder + QStringLiteral("/demo/index.htm"));
    EXPECT_TRUE(QFileInfo(launches[0]).isFile());
    EXPECT_TRUE(samePicture(f.cmdSet()->picture(), QPixmap(Artwork::demoButton())));
    EXPECT_TRUE(messages.empty());
}

TEST_F(StartScreen, DemonstrationButtonWithoutItsPictureDoesNothing)
{
    FrmIni& f = Forms::show<FrmIni>();
    QTest::mouseClick(f.cmdSet(), Qt::LeftButton);
    EXPECT_TRUE(launches.isEmpty());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(samePicture(f.cmdSet()->picture(), QPixmap(Artwork::demoButton())));
}

TEST_F(StartScreen, ACorruptDemonstrationPictureFailsBeforeAnyLaunch)
{
    writeJpeg(QStringLiteral("index-logo2.jpg"), QSize(90, 30), Qt::blue);
    FrmIni& f = Forms::show<FrmIni>();
    writeBytes(QStringLiteral("index-logo2.jpg"), QByteArray("\xff\xd8 broken"));
    runHandler([&] { f.cmdSet_Click(); return true; });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '481':\n\nInvalid picture"));
    EXPECT_TRUE(launches.isEmpty());
    EXPECT_EQ(Forms::loaded<FrmIni>(), &f) << "the start screen stays";
}

TEST_F(StartScreen, MarkerFileChangesNothingOnScreen)
{
    writeBytes(QStringLiteral("EditMod"), {});
    FrmIni& f = Forms::show<FrmIni>();
    EXPECT_TRUE(f.cmdSet()->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(StartScreen, ButtonShowsItsPressedPictureWhileHeldDown)
{
    FrmIni& f = Forms::show<FrmIni>();
    QImage normal(170, 60, QImage::Format_RGB32);
    normal.fill(QColor(0, 160, 0));
    QImage pressed(170, 60, QImage::Format_RGB32);
    pressed.fill(QColor(160, 0, 0));
    PictureButton* b = f.cmdQuery();
    b->setPicture(QPixmap::fromImage(normal));
    b->setDownPicture(QPixmap::fromImage(pressed));

    // The middle of the 170 x 60 picture fills the 140 x 49 button.
    EXPECT_EQ(b->grab().toImage().pixelColor(70, 24), QColor(0, 160, 0));
    b->setDown(true);
    EXPECT_EQ(b->grab().toImage().pixelColor(70, 24), QColor(160, 0, 0));
    b->setDown(false);
    EXPECT_EQ(b->grab().toImage().pixelColor(10, 10), QColor(0, 160, 0));
}

TEST_F(StartScreen, BuiltInArtworkHasItsSizes)
{
    struct Case {
        QString path;
        QSize size;
        QByteArray format;
    };
    const Case cases[] = {
        {Artwork::startBackground(), {800, 580}, "jpeg"},
        {Artwork::queryButton(), {170, 60}, "jpeg"},
        {Artwork::demoButton(), {170, 60}, "jpeg"},
        {Artwork::icon(), {64, 64}, "png"},
        {Artwork::searchButton(), {67, 28}, "gif"},
        {Artwork::searchPanel(), {800, 580}, "jpeg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QImageReader reader(c.path);
        EXPECT_EQ(reader.format(), c.format);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), c.size);
    }
}

TEST_F(StartScreen, WindowCarriesTheIcon)
{
    FrmIni& f = Forms::load<FrmIni>();
    EXPECT_FALSE(f.windowIcon().isNull());
}

} // namespace
} // namespace Orvanta::Test
