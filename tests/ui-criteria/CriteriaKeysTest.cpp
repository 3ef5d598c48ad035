// The criteria editor's lists by keyboard: Enter and Space open the focused
// folder, Enter loads the focused file, typing jumps to a name.
#include "criteria/FileList.h"
#include "criteria/FolderList.h"
#include "criteria/TextArea.h"
#include "criteria/frmBrowser.h"

#include "app/forms/Form.h"
#include "platform/ui/MessageBox.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace Orvanta::Test {
namespace {

class CriteriaKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        before = QDir::currentPath();
        ASSERT_TRUE(dir.isValid());
        folder = QDir(dir.path()).canonicalPath();
        writeFile(path("A.txt"), "first\r\nsecond");
        writeFile(path("b.set"), "old b\r\n");
        writeFile(path("Bb.txt"), "bb\r\n");
        writeFile(path("c.TXT"), "c\r\n");
        writeFile(path("sub/inner.txt"), "inner\r\n");
        for (const char* name : {"alpha", "Beta", "sub2"})
            ASSERT_TRUE(QDir(folder).mkdir(QString::fromLatin1(name)));
        ASSERT_TRUE(QDir::setCurrent(folder));
        MessageSink::setRecorder([this](QString, QString text) { messages << text; });
    }

    void TearDown() override
    {
        Forms::unload<frmBrowser>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        MessageSink::setRecorder({});
        QDir::setCurrent(before);
    }

    QString path(const QString& name) const { return folder + QLatin1Char('/') + name; }

    frmBrowser& open()
    {
        frmBrowser& f = Forms::show<frmBrowser>();
        f.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        return f;
    }

    static int rowOf(const FolderList* list, const QString& folderPath)
    {
        for (int i = 0; i < list->count(); ++i)
            if (list->entryPath(i) == folderPath)
                return i;
        return -1;
    }

    // Lets the run of typing end, so that the next key starts a new one.
    static void pause() { QTest::qWait(QApplication::keyboardInputInterval() + 100); }

    QString before;
    QTemporaryDir dir;
    QString folder;
    QStringList messages;
};

TEST_F(CriteriaKeys, EnterAndSpaceOpenTheFocusedFolder)
{
    struct Case {
        const char* what;
        QString focusedEntry; // relative to the folder; ".." for its parent level
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString path; // where the list is afterwards, relative; "" for the folder itself
    };
    const Case cases[] = {
        {"Enter on a subfolder", "sub", Qt::Key_Return, {}, "sub"},
        {"Enter on the keypad", "sub", Qt::Key_Enter, Qt::KeypadModifier, "sub"},
        {"Space on a subfolder", "sub2", Qt::Key_Space, {}, "sub2"},
        {"Enter on the level above", "..", Qt::Key_Return, {}, ".."},
        {"Ctrl+Enter is not an opening", "sub", Qt::Key_Return, Qt::ControlModifier, ""},
        {"Enter on the folder itself keeps it", "", Qt::Key_Return, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        frmBrowser& f = open();
        ASSERT_EQ(f.dirList->path(), folder);
        const auto full = [&](const QString& rel) {
            return rel.isEmpty() ? folder : QDir::cleanPath(folder + QLatin1Char('/') + rel);
        };
        const int row = rowOf(f.dirList, full(c.focusedEntry));
        ASSERT_GE(row, 0);
        f.dirList->setFocus();
        f.dirList->setCurrentRow(row);
        QTest::keyClick(f.dirList, c.key, c.modifiers);
        EXPECT_EQ(f.dirList->path(), full(c.path));
        // As a double-click does: the file list and the current folder follow.
        EXPECT_EQ(f.filList->path(), full(c.path));
        EXPECT_EQ(QDir::currentPath(), full(c.path));
        if (c.path == "sub")
            EXPECT_EQ(f.filList->count(), 1);
        EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
        Forms::unload<frmBrowser>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(QDir::setCurrent(folder));
    }
}

TEST_F(CriteriaKeys, EnterOnTheFocusedFileLoadsIt)
{
    struct Case {
        const char* what;
        QString file;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool loads;
        QString text;
    };
    const Case cases[] = {
        {"Enter", "A.txt", Qt::Key_Return, {}, true, "first\r\nsecond\r\n"},
        {"Enter on the keypad", "b.set", Qt::Key_Enter, Qt::KeypadModifier, true, "old b\r\n"},
        {"Space only selects", "c.TXT", Qt::Key_Space, {}, false, ""},
        {"Alt+Enter is not a loading", "A.txt", Qt::Key_Return, Qt::AltModifier, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        frmBrowser& f = open();
        const int row = f.filList->findItems(c.file, Qt::MatchExactly).isEmpty()
                            ? -1
                            : f.filList->row(f.filList->findItems(c.file, Qt::MatchExactly).first());
        ASSERT_GE(row, 0);
        f.filList->setFocus();
        // Focused, as the arrow keys leave it, not yet chosen.
        f.filList->setCurrentRow(row, QItemSelectionModel::NoUpdate);
        QTest::keyClick(f.filList, c.key, c.modifiers);
        EXPECT_EQ(f.txtBrowser->text(), c.text);
        if (c.loads) {
            EXPECT_EQ(f.filList->fileName(), c.file);
            EXPECT_EQ(f.windowTitle(), path(c.file));
        } else {
            EXPECT_EQ(f.windowTitle(), frmBrowser::designCaption());
        }
        Forms::unload<frmBrowser>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // No file focused: Enter does nothing.
    frmBrowser& f = open();
    f.filList->setCurrentRow(-1);
    QTest::keyClick(f.filList, Qt::Key_Return);
    EXPECT_EQ(f.windowTitle(), frmBrowser::designCaption());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(CriteriaKeys, TypingJumpsToAName)
{
    frmBrowser& f = open();
    struct Case {
        const char* what;
        bool folders;
        QString typed; // one run of typing
        QString name;  // the folder's path (relative) or the file's name afterwards
    };
    const Case cases[] = {
        {"a folder by its first letter", true, "s", "sub"},
        {"the same letter again: the next one", true, "s", "sub2"},
        {"letter case ignored", true, "b", "Beta"},
        {"a prefix in one run", true, "su", "sub"},
        {"a longer prefix", true, "sub2", "sub2"},
        {"a letter no folder starts with: the list stays", true, "q", "sub2"},
        {"a file by its first letter", false, "c", "c.TXT"},
        {"a file, letter case ignored", false, "a", "A.txt"},
        {"two letters a name starts with", false, "bb", "Bb.txt"},
        {"a prefix with a dot", false, "bb.", "Bb.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pause();
        QListWidget* list = c.folders ? static_cast<QListWidget*>(f.dirList) : static_cast<QListWidget*>(f.filList);
        list->setFocus();
        QTest::keyClicks(list, c.typed);
        if (c.folders) {
            EXPECT_EQ(f.dirList->entryPath(f.dirList->currentRow()), path(c.name));
            EXPECT_EQ(f.dirList->path(), folder) << "typing only moves, it opens nothing";
        } else {
            ASSERT_NE(f.filList->currentItem(), nullptr);
            EXPECT_EQ(f.filList->currentItem()->text(), c.name);
        }
    }
    EXPECT_EQ(f.txtBrowser->text(), QString()) << "typing loads nothing";
}

} // namespace
} // namespace Orvanta::Test
