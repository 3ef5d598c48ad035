// The criteria file editor window: its lists, loading, saving and errors, on
// real files in a temporary folder.
#include "criteria/DriveList.h"
#include "criteria/FileList.h"
#include "criteria/FolderList.h"
#include "criteria/TextArea.h"
#include "criteria/core/Drives.h"
#include "criteria/frmBrowser.h"

#include "app/forms/Form.h"
#include "app/forms/Handler.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Twips.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace Orvanta::Test {
namespace {

struct Message {
    QString caption, text;
};

class CriteriaEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        before = QDir::currentPath();
        ASSERT_TRUE(dir.isValid());
        folder = QDir(dir.path()).canonicalPath();
        writeFile(path(QStringLiteral("A.txt")), "first\r\nsecond");
        writeFile(path(QStringLiteral("b.set")), "old b\r\n");
        writeFile(path(QStringLiteral("c.TXT")), "c\r\n");
        writeFile(path(QStringLiteral("notes.txt.bak")), "x");
        writeFile(path(QStringLiteral("sub/inner.txt")), "inner\r\n");
        ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("sub2")));
        ASSERT_TRUE(QDir::setCurrent(folder));
        MessageSink::setRecorder([this](QString caption, QString text) { messages.push_back({caption, text}); });
        // Questions are recorded and answered from `answers`, yes when none is left.
        MessageSink::setAnswerer([this](QString caption, QString text) {
            questions.push_back({caption, text});
            if (answers.empty())
                return true;
            const bool answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        });
    }

    void TearDown() override
    {
        Forms::unload<frmBrowser>();
        flushDeletions();
        MessageSink::setRecorder({});
        MessageSink::setAnswerer({});
        QDir::setCurrent(before);
    }

    static void flushDeletions()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QString path(const QString& name) const { return folder + QLatin1Char('/') + name; }

    // A handler run as the application object runs it: an error becomes the
    // run-time error message.
    static void handler(const std::function<void()>& body)
    {
        runHandler([&] {
            body();
            return true;
        });
    }

    static QStringList listed(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    // As the mouse does it: a press and release, then the second press.
    static void doubleClick(QListWidget* list, int row)
    {
        ASSERT_GE(row, 0);
        list->scrollToItem(list->item(row));
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    // The next widget the Tab key reaches.
    static QWidget* nextTabStop(QWidget* w)
    {
        for (QWidget* n = w->nextInFocusChain(); n && n != w; n = n->nextInFocusChain()) {
            if ((n->focusPolicy() & Qt::TabFocus) && n->isVisibleTo(w->window()) && n->isEnabled())
                return n;
        }
        return nullptr;
    }

    static void click(QListWidget* list, int row)
    {
        ASSERT_GE(row, 0);
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    static int rowOf(const FolderList* list, const QString& folderPath)
    {
        for (int i = 0; i < list->count(); ++i) {
            if (list->entryPath(i) == folderPath)
                return i;
        }
        return -1;
    }

    static int rowOf(const QListWidget* list, const QString& name)
    {
        return listed(list).indexOf(name);
    }

    QString before;
    QTemporaryDir dir;
    QString folder;
    std::vector<Message> messages;
    std::vector<Message> questions;
    std::vector<bool> answers;
};

TEST_F(CriteriaEditor, OpensAtTheCurrentFolderWithNothingSelected)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Tarsel 全文檢索條件 瀏覽、複製、編輯、更新、存檔"));
    EXPECT_EQ(f.dirList->path(), folder);
    EXPECT_EQ(f.filList->path(), folder);
    EXPECT_EQ(listed(f.filList), (QStringList{"A.txt", "b.set", "c.TXT"}));
    EXPECT_EQ(f.filList->fileName(), QString());
    EXPECT_EQ(f.txtBrowser->text(), QString());
    EXPECT_EQ(f.drvList->drive(), Drives::driveOf(folder, Drives::mounted()));
    EXPECT_EQ(f.drvList->itemData(0).toString(), QStringLiteral("/"));

    // The folder list: the levels from the drive's root down, then the subfolders.
    const QString drive = Drives::driveOf(folder, Drives::mounted());
    const QStringList levels = QString(folder).mid(drive.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    ASSERT_EQ(f.dirList->count(), levels.size() + 1 + 2);
    EXPECT_EQ(f.dirList->entryPath(0), drive);
    EXPECT_EQ(f.dirList->entryPath(levels.size()), folder);
    EXPECT_EQ(f.dirList->currentRow(), levels.size());
    EXPECT_EQ(f.dirList->entryPath(levels.size() + 1), path(QStringLiteral("sub")));
    EXPECT_EQ(f.dirList->entryPath(levels.size() + 2), path(QStringLiteral("sub2")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(CriteriaEditor, DesignLayoutFontsAndTabOrder)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    EXPECT_EQ(f.geometry(), QRect(424, 283, 458, 431));
    EXPECT_EQ(f.fraFrame->geometry(), QRect(8, 8, 441, 417));
    EXPECT_EQ(f.filList->parentWidget(), f.fraFrame);
    EXPECT_EQ(f.filList->geometry(), QRect(232, 24, 193, 141));
    EXPECT_EQ(f.drvList->geometry(), QRect(24, 32, 201, 23));
    EXPECT_EQ(f.dirList->geometry(), QRect(24, 64, 201, 108));
    EXPECT_EQ(f.txtBrowser->geometry(), QRect(8, 192, 441, 193));
    EXPECT_EQ(f.Command1->parentWidget(), f.fraFrame);
    EXPECT_EQ(f.Command1->geometry(), QRect(376, 384, 57, 25));
    EXPECT_EQ(f.Command1->text(), QStringLiteral("存檔"));
    EXPECT_EQ(f.fraFrame->title(), QStringLiteral("選擇檔案"));

    EXPECT_DOUBLE_EQ(f.fraFrame->font().pointSizeF(), 9.75);
    for (QWidget* w : std::initializer_list<QWidget*>{f.filList, f.drvList, f.dirList, f.Command1})
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 11.25) << w->objectName().toStdString();
    EXPECT_DOUBLE_EQ(f.txtBrowser->font().pointSizeF(), 12.75);
    EXPECT_EQ(f.txtBrowser->font().family(), QStringLiteral("Noto Serif CJK TC"));

    EXPECT_EQ(f.fraFrame->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(nextTabStop(f.filList), static_cast<QWidget*>(f.drvList));
    EXPECT_EQ(nextTabStop(f.drvList), static_cast<QWidget*>(f.dirList));
    EXPECT_EQ(nextTabStop(f.dirList), static_cast<QWidget*>(f.txtBrowser));
    EXPECT_EQ(nextTabStop(f.txtBrowser), static_cast<QWidget*>(f.Command1));
    EXPECT_EQ(nextTabStop(f.Command1), static_cast<QWidget*>(f.filList));

    EXPECT_EQ(f.txtBrowser->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(f.txtBrowser->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(f.txtBrowser->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(f.txtBrowser->isReadOnly());

    const QColor c19 = QPalette().color(QPalette::Inactive, QPalette::HighlightedText);
    const QColor c20 = QPalette().color(QPalette::Active, QPalette::Light);
    EXPECT_EQ(f.palette().color(QPalette::Window), c19);
    EXPECT_EQ(f.fraFrame->palette().color(QPalette::Window), c19);
    EXPECT_EQ(f.Command1->palette().color(QPalette::Button), c19);
    EXPECT_EQ(f.filList->palette().color(QPalette::Base), c20);
    EXPECT_EQ(f.dirList->palette().color(QPalette::Base), c20);
    EXPECT_EQ(f.drvList->palette().color(QPalette::Base), c20);
    EXPECT_EQ(f.txtBrowser->palette().color(QPalette::Base), c20);
}

// Tab leaves the text area for the save button; Enter and Space click the
// focused save button.
TEST_F(CriteriaEditor, TabLeavesTheTextAreaAndEnterSaves)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    f.txtBrowser->setText(QStringLiteral("new b"));
    f.txtBrowser->setFocus();
    QTest::keyClick(f.txtBrowser, Qt::Key_Tab);
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("new b")) << "no tab character typed";
    ASSERT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(f.Command1));

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(key);
        writeFile(path(QStringLiteral("b.set")), "old b\r\n");
        QTest::keyClick(f.Command1, key);
        EXPECT_EQ(readFile(path(QStringLiteral("b.set"))), "new b\r\n");
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(CriteriaEditor, OpeningAFolderListsItsFilesAndMakesItCurrent)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    ASSERT_EQ(f.filList->fileName(), QStringLiteral("b.set"));

    doubleClick(f.dirList, rowOf(f.dirList, path(QStringLiteral("sub"))));
    EXPECT_EQ(f.dirList->path(), path(QStringLiteral("sub")));
    EXPECT_EQ(f.filList->path(), path(QStringLiteral("sub")));
    EXPECT_EQ(listed(f.filList), QStringList{QStringLiteral("inner.txt")});
    EXPECT_EQ(f.filList->fileName(), QString());
    EXPECT_TRUE(f.filList->selectedItems().isEmpty());
    EXPECT_EQ(QDir::currentPath(), path(QStringLiteral("sub")));

    // Back up one level through the level entry.
    doubleClick(f.dirList, rowOf(f.dirList, folder));
    EXPECT_EQ(f.dirList->path(), folder);
    EXPECT_EQ(listed(f.filList), (QStringList{"A.txt", "b.set", "c.TXT"}));
    EXPECT_EQ(QDir::currentPath(), folder);

    // A single click only selects; the path stays.
    click(f.dirList, rowOf(f.dirList, path(QStringLiteral("sub2"))));
    EXPECT_EQ(f.dirList->path(), folder);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CriteriaEditor, LoadingOneFileAndSavingIntoAnotherCopiesTheEditedText)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("A.txt")));
    EXPECT_EQ(f.windowTitle(), path(QStringLiteral("A.txt")));
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("first\r\nsecond\r\n"));
    EXPECT_EQ(f.txtBrowser->document()->blockCount(), 3);

    // Edit: a third line.
    f.txtBrowser->moveCursor(QTextCursor::End);
    QTest::keyClicks(f.txtBrowser, QStringLiteral("third"));

    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u) << "b.set has content: the user is asked first";
    EXPECT_EQ(f.windowTitle(), path(QStringLiteral("b.set")));
    EXPECT_EQ(readFile(path(QStringLiteral("b.set"))), QByteArray("first\r\nsecond\r\nthird\r\n"));
    EXPECT_EQ(readFile(path(QStringLiteral("A.txt"))), QByteArray("first\r\nsecond"));
    EXPECT_TRUE(messages.empty());
}

// Saving into a file with content that is not the one loaded asks first,
// naming both; "no" leaves the file and the caption as they were. The loaded
// file, an empty file and the file last saved into are written without a
// question.
TEST_F(CriteriaEditor, AsksBeforeOverwritingAnotherFilesContent)
{
    writeFile(path(QStringLiteral("empty.txt")), "");
    frmBrowser& f = Forms::show<frmBrowser>();
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("A.txt")));
    f.txtBrowser->setText(QStringLiteral("edited\r\n"));

    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    answers = {false};
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_TRUE(questions[0].text.contains(path(QStringLiteral("b.set")))) << questions[0].text.toStdString();
    EXPECT_TRUE(questions[0].text.contains(path(QStringLiteral("A.txt")))) << questions[0].text.toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("b.set"))), QByteArray("old b\r\n"));
    EXPECT_EQ(f.windowTitle(), path(QStringLiteral("A.txt")));

    // Into the loaded file and into an empty one: no question.
    for (const char* name : {"A.txt", "empty.txt"}) {
        click(f.filList, rowOf(f.filList, QString::fromLatin1(name)));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        EXPECT_EQ(questions.size(), 1u) << name;
        EXPECT_EQ(readFile(path(QString::fromLatin1(name))), QByteArray("edited\r\n")) << name;
    }

    // Yes: written. The text now is that file's, so saving it again asks nothing.
    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    answers = {true};
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(readFile(path(QStringLiteral("b.set"))), QByteArray("edited\r\n"));
    EXPECT_EQ(f.windowTitle(), path(QStringLiteral("b.set")));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);

    // Nothing loaded yet (a fresh window): any file with content asks, naming it.
    Forms::unload<frmBrowser>();
    flushDeletions();
    frmBrowser& fresh = Forms::show<frmBrowser>();
    fresh.txtBrowser->setText(QStringLiteral("typed"));
    click(fresh.filList, rowOf(fresh.filList, QStringLiteral("c.TXT")));
    answers = {false};
    QTest::mouseClick(fresh.Command1, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_TRUE(questions[2].text.contains(path(QStringLiteral("c.TXT"))));
    EXPECT_EQ(readFile(path(QStringLiteral("c.TXT"))), QByteArray("c\r\n"));
    EXPECT_TRUE(messages.empty());
}

// Characters code page 950 lacks become "?": the user is told how many and
// may cancel. A text without such characters is saved without a word.
TEST_F(CriteriaEditor, TellsHowManyCharactersWillBecomeQuestionMarks)
{
    writeFile(path(QStringLiteral("new.txt")), "");
    frmBrowser& f = Forms::show<frmBrowser>();
    click(f.filList, rowOf(f.filList, QStringLiteral("new.txt")));
    f.txtBrowser->setText(QString::fromUcs4(U"爲人 ก? 𠀀\r\n"));
    answers = {false};
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].text.contains(QStringLiteral("有 3 個字元"))) << questions[0].text.toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("new.txt"))), QByteArray());
    EXPECT_NE(f.windowTitle(), path(QStringLiteral("new.txt"))) << "nothing was saved";

    answers = {true};
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(readFile(path(QStringLiteral("new.txt"))), QByteArray("?\xa4\x48 ?? ?\r\n"));

    f.txtBrowser->setText(QStringLiteral("人參?\r\n"));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(readFile(path(QStringLiteral("new.txt"))), QByteArray("\xa4\x48\xb0\xd1?\r\n"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(CriteriaEditor, SavingUnchangedGivesBackTheSameLinesAndKeepsLoneLineFeeds)
{
    writeFile(path(QStringLiteral("lf.txt")), "a\nb\n");
    frmBrowser& f = Forms::show<frmBrowser>();
    f.filList->setPath(folder);
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("lf.txt")));
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("a\nb\n\r\n"));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(readFile(path(QStringLiteral("lf.txt"))), QByteArray("a\nb\n\r\n"));

    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("c.TXT")));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    EXPECT_EQ(readFile(path(QStringLiteral("c.TXT"))), QByteArray("c\r\n"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(CriteriaEditor, TheCaptionShowsAnyFileNameAsWritten)
{
    writeFile(path(QStringLiteral("odd[*]name.txt")), "x\r\n");
    frmBrowser& f = Forms::show<frmBrowser>();
    f.filList->setPath(folder);
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("odd[*]name.txt")));
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("x\r\n"));
    EXPECT_EQ(f.windowHandle() ? f.windowHandle()->title() : f.windowTitle(), path(QStringLiteral("odd[*]name.txt")));
}

TEST_F(CriteriaEditor, SavingWithNoFileSelectedFailsAndKeepsTheText)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("A.txt")));
    doubleClick(f.dirList, rowOf(f.dirList, path(QStringLiteral("sub"))));
    ASSERT_EQ(f.filList->fileName(), QString());

    handler([&] { f.Command1_Click(); });
    const QString target = path(QStringLiteral("sub/"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '75':\n\nPath/File access error: ") + target);
    EXPECT_EQ(f.windowTitle(), target);
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("first\r\nsecond\r\n"));
    EXPECT_EQ(QDir(path(QStringLiteral("sub"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("inner.txt")});
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(Forms::loaded<frmBrowser>(), &f);
}

TEST_F(CriteriaEditor, AFileThatCannotBeReadLeavesTheTextAsItWas)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    doubleClick(f.filList, rowOf(f.filList, QStringLiteral("A.txt")));
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("c.TXT"))));
    click(f.filList, rowOf(f.filList, QStringLiteral("c.TXT")));

    handler([&] { f.filList_DblClick(); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("Run-time error '53':\n\nFile not found: ") + path(QStringLiteral("c.TXT")));
    EXPECT_EQ(f.windowTitle(), path(QStringLiteral("c.TXT")));
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("first\r\nsecond\r\n"));
}

TEST_F(CriteriaEditor, SavingIntoAReadOnlyFileChangesNothing)
{
    frmBrowser& f = Forms::show<frmBrowser>();
    ASSERT_TRUE(QFile::setPermissions(path(QStringLiteral("b.set")), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    f.txtBrowser->setText(QStringLiteral("new text"));
    click(f.filList, rowOf(f.filList, QStringLiteral("b.set")));
    handler([&] { f.Command1_Click(); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Run-time error '70':"))) << messages[0].text.toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("b.set"))), QByteArray("old b\r\n"));
    EXPECT_EQ(f.txtBrowser->text(), QStringLiteral("new text"));
}

TEST_F(CriteriaEditor, ReopeningShowsTheLastFolderAndAnEmptyText)
{
    {
        frmBrowser& f = Forms::show<frmBrowser>();
        doubleClick(f.dirList, rowOf(f.dirList, path(QStringLiteral("sub"))));
        doubleClick(f.filList, rowOf(f.filList, QStringLiteral("inner.txt")));
        ASSERT_EQ(f.txtBrowser->text(), QStringLiteral("inner\r\n"));
        // Showing it again while open only brings it to the front.
        EXPECT_EQ(&Forms::show<frmBrowser>(), &f);
        EXPECT_EQ(f.dirList->path(), path(QStringLiteral("sub")));
        f.close();
    }
    flushDeletions();
    ASSERT_EQ(Forms::loaded<frmBrowser>(), nullptr);

    frmBrowser& again = Forms::show<frmBrowser>();
    EXPECT_EQ(again.dirList->path(), path(QStringLiteral("sub")));
    EXPECT_EQ(listed(again.filList), QStringList{QStringLiteral("inner.txt")});
    EXPECT_EQ(again.filList->fileName(), QString());
    EXPECT_EQ(again.txtBrowser->text(), QString());
    EXPECT_EQ(again.windowTitle(), frmBrowser::designCaption());
}

// A second drive: a small file system mounted inside the temporary folder.
TEST_F(CriteriaEditor, ChangingTheDriveMovesTheListsAndTheCurrentFolder)
{
    const QString mountPoint = path(QStringLiteral("drive"));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("drive")));
    const QByteArray point = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a second file system here: " << std::strerror(errno);
    writeFile(mountPoint + QStringLiteral("/on-drive.set"), "d\r\n");

    frmBrowser& f = Forms::show<frmBrowser>();
    const QString home = f.drvList->drive();
    const int driveRow = f.drvList->findData(mountPoint);
    ASSERT_GE(driveRow, 0) << "the mounted file system is not listed";
    f.drvList->setCurrentIndex(driveRow);
    EXPECT_EQ(f.dirList->path(), mountPoint);
    EXPECT_EQ(f.filList->path(), mountPoint);
    EXPECT_EQ(listed(f.filList), QStringList{QStringLiteral("on-drive.set")});
    EXPECT_EQ(QDir::currentPath(), mountPoint);
    // The folder list starts at the chosen drive's root, not at "/".
    ASSERT_EQ(f.dirList->count(), 1);
    EXPECT_EQ(f.dirList->entryPath(0), mountPoint);
    EXPECT_EQ(f.dirList->item(0)->text(), mountPoint);

    // Back on the first drive, the lists return to the folder last used there.
    f.drvList->setCurrentIndex(f.drvList->findData(home));
    EXPECT_EQ(f.dirList->path(), folder);
    EXPECT_EQ(QDir::currentPath(), folder);
    EXPECT_EQ(f.dirList->entryPath(0), home);

    // Opening the other drive's root from the folder list: the drive list follows.
    doubleClick(f.dirList, rowOf(f.dirList, mountPoint));
    EXPECT_EQ(f.dirList->path(), mountPoint);
    EXPECT_EQ(f.drvList->drive(), mountPoint);
    EXPECT_EQ(f.dirList->entryPath(0), mountPoint);
    f.drvList->setCurrentIndex(f.drvList->findData(home));
    EXPECT_EQ(f.dirList->path(), folder);

    // A drive that went away: the change fails and the current drive stays.
    ::umount(point.constData());
    ASSERT_TRUE(QDir(folder).rmdir(QStringLiteral("drive")));
    handler([&] { f.drvList->setCurrentIndex(driveRow); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Run-time error '71':"))) << messages[0].text.toStdString();
    EXPECT_EQ(QDir::currentPath(), folder);
    EXPECT_EQ(f.dirList->path(), folder);
    EXPECT_EQ(f.drvList->drive(), home);
}

// The real question box: 是 and 否, with 否 the default, so that Enter or Esc
// on a question the user did not read keeps the file.
TEST_F(CriteriaEditor, TheQuestionBoxDefaultsToNo)
{
    MessageSink::setAnswerer({});
    struct Case {
        const char* name;
        std::function<void(QMessageBox*)> answer;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"Enter", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, false},
        {"Esc", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        {"是", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }, true},
    };
    for (const Case& c : cases) {
        QString seen;
        QTimer::singleShot(0, [&] {
            QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = box->button(QMessageBox::Yes)->text() + QLatin1Char('/') + box->button(QMessageBox::No)->text();
            c.answer(box);
        });
        EXPECT_EQ(MessageSink::ask(QStringLiteral("Tarsel Orvanta"), QStringLiteral("要取代嗎？")), c.expected) << c.name;
        EXPECT_EQ(seen, QStringLiteral("是(&Y)/否(&N)")) << c.name;
    }
}

} // namespace
} // namespace Orvanta::Test
