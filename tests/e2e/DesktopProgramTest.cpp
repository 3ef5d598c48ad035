// The installed desktop program on a real X server, driven as a user drives
// it: mouse clicks and keystrokes through xdotool, the close box through the
// window manager's close request. What is checked is what the program leaves
// behind: window titles, the temporary page, saved files, printed pages and
// the end of the process.
#include "e2e/Installation.h"
#include "e2e/PrintQueue.h"
#include "e2e/ScreenGrab.h"
#include "e2e/XSession.h"
#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QThread>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

using namespace Orvanta::E2E;

const QString kStartScreen = QStringLiteral("^Tarsel Orvanta$");
const QString kSearchWindowTitle = QStringLiteral("Tarsel Orvanta-目錄瀏覽 & 關鍵字搜尋");
const QString kSearchWindow = QStringLiteral("^Tarsel Orvanta-目錄瀏覽");
const QString kEditorTitle = QStringLiteral("Tarsel 全文檢索條件 瀏覽、複製、編輯、更新、存檔");
const QString kEditor = QStringLiteral("^Tarsel 全文檢索條件");

// Centres of the controls, in client pixels (the layout in twips / 15).
constexpr int kQueryButtonX = 560 + 70, kQueryButtonY = 248 + 24;   // start screen cmdQuery
constexpr int kSearchButtonX = 175 + 36, kSearchButtonY = 46 + 16;  // search window Command1
constexpr int kFirstFileX = 240 + 20, kFirstFileY = 32 + 8;          // editor file list, first entry
constexpr int kTextAreaX = 8 + 200, kTextAreaY = 192 + 100;          // editor text area
constexpr int kSaveButtonX = 384 + 28, kSaveButtonY = 392 + 12;      // editor save button
constexpr int kDriveListX = 24 + 100, kDriveListY = 32 + 11;         // editor drive list
constexpr int kQueryArrowX = 13 + 233 - 8, kQueryArrowY = 16 + 13;    // search window query box's arrow

std::string show(const QByteArray& bytes)
{
    return bytes.left(300).toStdString();
}

// Within each word, the positions where a character repeats an earlier one.
QList<int> repeats(const QString& word)
{
    QList<int> pattern;
    const QList<uint> chars = word.toUcs4();
    for (qsizetype i = 0; i < chars.size(); ++i)
        pattern << int(chars.indexOf(chars[i]));
    return pattern;
}

// A printed line whose glyphs lost their characters against the line that
// was meant: the same number of words; the first word (whose brackets may be
// left out) about as long; every other word of the same length with the same
// repeats.
bool sameShape(const QString& meant, const QString& printed)
{
    const QStringList a = meant.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList b = printed.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (a.size() != b.size() || a.isEmpty())
        return false;
    if (std::abs(a[0].toUcs4().size() - b[0].toUcs4().size()) > 2)
        return false;
    for (qsizetype i = 1; i < a.size(); ++i) {
        if (repeats(a[i]) != repeats(b[i]))
            return false;
    }
    return true;
}

class DesktopProgramTest : public ::testing::Test {
protected:
    virtual XSession::WindowManager windowManager() const { return XSession::WindowManager::None; }

    void SetUp() override
    {
        m_session = std::make_unique<XSession>(windowManager());
        ASSERT_TRUE(m_session->started()) << m_session->error().toStdString();
        m_install = makeInstallation();
        ASSERT_TRUE(m_install->ok()) << m_install->error().toStdString();
        ASSERT_TRUE(m_workDir.isValid());
    }

    virtual std::unique_ptr<Installation> makeInstallation() { return std::make_unique<Installation>(300); }

    void TearDown() override
    {
        if (HasFailure() && m_session && m_session->started()) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            const QString shot = artifactsDir() + QStringLiteral("/failure-")
                                 + QString::fromLatin1(info->name()) + QStringLiteral(".png");
            if (m_session->screenshot(shot))
                std::cerr << "screen at the failure: " << shot.toStdString() << "\n";
            if (m_program)
                std::cerr << "program output (end):\n" << m_program->output().toStdString() << "\n";
        }
        m_program.reset(); // before the display goes away
        m_session.reset();
    }

    void start(QProcessEnvironment extra = {})
    {
        // Settings in a folder of the test's own: every run starts as a first run.
        if (!extra.contains(QStringLiteral("XDG_CONFIG_HOME")))
            extra.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_program = std::make_unique<ProgramRun>(*m_install, *m_session, m_workDir.path(), extra);
        ASSERT_TRUE(m_program->running()) << "orvanta did not start: "
                                          << m_program->startError().toStdString();
    }

    // Start screen up, query button pressed, search window up with the newest
    // document shown; returns the search window's id.
    QString openSearchWindow()
    {
        const QString startScreen = m_session->waitForWindow(kStartScreen);
        EXPECT_FALSE(startScreen.isEmpty()) << "the start screen \"Tarsel Orvanta\" did not appear";
        if (startScreen.isEmpty())
            return {};
        // A click on a window that is named but not yet on screen is lost.
        EXPECT_TRUE(m_session->waitForPaint(startScreen)) << "the start screen is not drawn";
        EXPECT_TRUE(m_session->click(startScreen, kQueryButtonX, kQueryButtonY));
        const QString search = m_session->waitForWindow(kSearchWindow);
        EXPECT_FALSE(search.isEmpty()) << "the search window did not appear after the query button";
        if (search.isEmpty())
            return {};
        EXPECT_EQ(m_session->windowName(search).toStdString(), kSearchWindowTitle.toStdString());
        EXPECT_TRUE(m_session->waitForNoWindow(kStartScreen))
            << "the start screen is still there after the first search";
        expectPage(QString(), 1);
        return search;
    }

    // The program started with the PDF queue as its default printer, and its
    // search window opened.
    QString openSearchWindowPrintingTo(const PrintQueue& queue)
    {
        QProcessEnvironment printer;
        printer.insert(QStringLiteral("PRINTER"), queue.name());
        start(printer);
        return m_program && m_program->running() ? openSearchWindow() : QString();
    }

    // Waits until the temporary page holds row `row` of `query`.
    bool pageShows(const QString& query, int row, std::chrono::milliseconds timeout = 15s)
    {
        const QByteArray expected = m_install->expectedPage(query, row);
        if (expected.isEmpty())
            return false;
        return waitUntil([&] { return fileBytes(m_install->tempPage()) == expected; }, timeout);
    }

    void expectPage(const QString& query, int row)
    {
        EXPECT_TRUE(pageShows(query, row))
            << "the temporary page does not hold row " << row << " of \"" << query.toStdString()
            << "\"; it starts with:\n"
            << show(fileBytes(m_install->tempPage()));
    }

    // What the query box holds: Esc gives it the focus, Ctrl+A selects its
    // text and Ctrl+C copies that.
    std::optional<QString> queryBoxText(const QString& window)
    {
        if (!m_session->focus(window) || !m_session->key(QStringLiteral("Escape"))
            || !m_session->key(QStringLiteral("ctrl+a")) || !m_session->key(QStringLiteral("ctrl+c")))
            return std::nullopt;
        return m_session->clipboardText();
    }

    // Esc, then `text` typed over the selected text of the query box. A
    // character xdotool loses on the way (on a busy machine, often) shows in
    // the box; only then is the text typed once more. False when the box
    // never showed it.
    bool typeIntoQueryBox(const QString& window, const QString& text)
    {
        for (int attempt = 1; attempt <= 6; ++attempt) {
            if (!m_session->focus(window) || !m_session->key(QStringLiteral("Escape")) || !m_session->type(text))
                return false;
            const std::optional<QString> shown = queryBoxText(window);
            if (shown == text)
                return true;
            std::cerr << "the query box shows \"" << shown.value_or(QStringLiteral("(nothing)")).toStdString()
                      << "\" after typing \"" << text.toStdString() << "\"; typing it again (attempt "
                      << attempt + 1 << ")\n";
        }
        return false;
    }

    // The query typed into the box, then Enter or a click on the search
    // button. With the right text in the box, a wrong page is a failure.
    void search(const QString& window, const QString& query, bool withButton)
    {
        ASSERT_TRUE(typeIntoQueryBox(window, query)) << "the query box never showed \"" << query.toStdString() << "\"";
        if (withButton)
            ASSERT_TRUE(m_session->click(window, kSearchButtonX, kSearchButtonY));
        else
            ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        EXPECT_TRUE(pageShows(query, 1))
            << "after searching \"" << query.toStdString()
            << "\" the temporary page does not hold its first row; it starts with:\n"
            << show(fileBytes(m_install->tempPage()));
    }

    // "條件存取" with the search button opens the criteria editor.
    QString openCriteriaEditor(const QString& window)
    {
        if (!typeIntoQueryBox(window, QStringLiteral("條件存取"))
            || !m_session->click(window, kSearchButtonX, kSearchButtonY))
            return {};
        return m_session->waitForWindow(kEditor, 20s);
    }

    void shot(const QString& name)
    {
        const QString path = artifactsDir() + QLatin1Char('/') + name;
        EXPECT_TRUE(m_session->screenshot(path)) << "no screenshot " << path.toStdString();
    }

    // The criteria editor through the query box's own list, where "條件存取"
    // is the entry below the empty one: nothing is typed, so no character
    // can be lost on the way (typing under a window manager loses more).
    QString openCriteriaEditorFromList(const QString& window)
    {
        const QStringList before = m_session->topLevels();
        if (!m_session->click(window, kQueryArrowX, kQueryArrowY))
            return {};
        if (!waitUntil([&] { return m_session->topLevels().size() > before.size(); }, 10s))
            return {};
        // The list holds its three design entries: a click on the middle one,
        // "條件存取", takes it into the box (Enter there would search for it).
        QString list;
        for (const QString& id : m_session->topLevels()) {
            if (!before.contains(id))
                list = id;
        }
        const ToolResult info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), list}, 10s,
                                        m_session->environment());
        int width = 0, height = 0;
        for (const QByteArray& line : info.out.split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.startsWith("Width:"))
                width = l.mid(6).trimmed().toInt();
            else if (l.startsWith("Height:"))
                height = l.mid(7).trimmed().toInt();
        }
        if (list.isEmpty() || width <= 0 || height <= 0 || !m_session->click(list, width / 2, height / 2))
            return {};
        // A click while the list is still closing is lost; the entry stays in
        // the box until a click reaches the button.
        waitUntil([&] { return m_session->topLevels().size() <= before.size(); }, 10s);
        for (int attempt = 1; attempt <= 3; ++attempt) {
            if (!m_session->click(window, kSearchButtonX, kSearchButtonY))
                return {};
            const QString editor = m_session->waitForWindow(kEditor, attempt < 3 ? 5s : 20s);
            if (!editor.isEmpty())
                return editor;
        }
        return {};
    }

    // The criteria editor's drive drop-down and the run-time error box of a
    // save with no file selected, each checked on the screen itself: drawn,
    // not a black rectangle.
    void expectNewWindowsDrawn(const QString& prefix)
    {
        start();
        const QString window = openSearchWindow();
        ASSERT_FALSE(window.isEmpty());
        const QString editor = openCriteriaEditorFromList(window);
        ASSERT_FALSE(editor.isEmpty()) << "the criteria editor did not open";
        ASSERT_TRUE(m_session->waitForPaint(editor)) << "the criteria editor is not drawn";

        const QStringList before = m_session->topLevels();
        ASSERT_TRUE(m_session->click(editor, kDriveListX, kDriveListY));
        QString popup;
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const QString& id : m_session->topLevels()) {
                    if (!before.contains(id))
                        popup = id;
                }
                return !popup.isEmpty();
            },
            10s))
            << "the drive list did not drop down";
        EXPECT_TRUE(m_session->waitForPaint(popup, 5s)) << "the drop-down is not drawn";
        m_session->windowShot(popup, artifactsDir() + QLatin1Char('/') + prefix + QStringLiteral("-drives.png"));
        ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
        EXPECT_TRUE(waitUntil([&] { return !m_session->topLevels().contains(popup); }, 10s));

        // The start screen is gone: the one window of its name is the box.
        ASSERT_TRUE(m_session->click(editor, kSaveButtonX, kSaveButtonY));
        const QString box = m_session->waitForWindow(kStartScreen);
        ASSERT_FALSE(box.isEmpty()) << "saving with no file selected showed no run-time error";
        EXPECT_TRUE(m_session->waitForPaint(box, 5s)) << "the run-time error box is not drawn";
        m_session->windowShot(box, artifactsDir() + QLatin1Char('/') + prefix + QStringLiteral("-error.png"));
        ASSERT_TRUE(m_session->focus(box));
        ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        EXPECT_TRUE(m_session->waitForNoWindow(kStartScreen));

        ASSERT_TRUE(m_session->requestClose(editor));
        ASSERT_TRUE(m_session->requestClose(window));
        expectEnd();
    }

    // The program ends, normally, soon after its last window closed.
    void expectEnd()
    {
        ASSERT_TRUE(m_program->waitForEnd(10s)) << "the program still runs after its last window closed";
        EXPECT_FALSE(m_program->crashed()) << "the program crashed on its way out";
        EXPECT_EQ(m_program->exitCode(), 0);
    }

    // The programs alone, in a folder without a collection, as a package
    // installs them; returns the desktop program's path.
    QString programsWithoutCollection()
    {
        const QString bin = Orvanta::Test::binDir();
        for (const char* program : {"orvanta", "orvanta-jet-reader"}) {
            const QString name = QString::fromLatin1(program);
            const QString target = m_programs.filePath(name);
            if (!QFileInfo::exists(target))
                EXPECT_TRUE(QFile::copy(bin + QLatin1Char('/') + name, target)) << program;
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner);
        }
        return m_programs.filePath(QStringLiteral("orvanta"));
    }

    // The desktop program from `program` with `arguments`; settings in a
    // folder of the test's own.
    void startWith(const QString& program, const QStringList& arguments, QProcessEnvironment extra = {})
    {
        extra.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_program.reset();
        m_program = std::make_unique<ProgramRun>(program, arguments, *m_session, m_workDir.path(),
                                                 m_workDir.filePath(QStringLiteral("orvanta.log")), extra);
        ASSERT_TRUE(m_program->running()) << "orvanta did not start: " << m_program->startError().toStdString();
    }

    // Types a folder into the folder chooser and accepts it.
    bool chooseFolder(const QString& chooser, const QString& folder)
    {
        if (!m_session->focus(chooser) || !m_session->key(QStringLiteral("ctrl+a"))
            || !m_session->type(folder))
            return false;
        // The first Return may only take the completer's suggestion.
        for (int i = 0; i < 3; ++i) {
            if (!m_session->key(QStringLiteral("Return")))
                return false;
            if (waitUntil([&] { return m_session->windowName(chooser).isEmpty(); }, 3s))
                return true;
        }
        return false;
    }

    // The message box named "Tarsel Orvanta" that refuses a folder: shot for
    // a look, closed with Return.
    void closeMessage(const QString& shotName)
    {
        const QString box = m_session->waitForWindow(kStartScreen);
        ASSERT_FALSE(box.isEmpty()) << "no message box \"Tarsel Orvanta\" appeared";
        EXPECT_TRUE(m_session->waitForPaint(box));
        m_session->windowShot(box, artifactsDir() + QLatin1Char('/') + shotName);
        ASSERT_TRUE(m_session->focus(box));
        ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        ASSERT_TRUE(m_session->waitForNoWindow(kStartScreen)) << "the message box did not close on Return";
    }

    QString rememberedCollection() const
    {
        return QString::fromUtf8(fileBytes(m_config.filePath(QStringLiteral("Tarsel/Orvanta.conf"))));
    }

    std::unique_ptr<XSession> m_session;
    std::unique_ptr<Installation> m_install;
    std::unique_ptr<ProgramRun> m_program;
    QTemporaryDir m_workDir; // the program's current folder
    QTemporaryDir m_programs; // programs without a collection
    QTemporaryDir m_config;   // XDG_CONFIG_HOME of the program
};

const QString kChooser = QStringLiteral("^選擇資料集資料夾");

TEST_F(DesktopProgramTest, SearchesHistoryCriteriaEditorAndEnd)
{
    // A criteria file in the current folder, where the editor opens.
    const QByteArray criteria = Orvanta::Cp950::encode(QStringLiteral("甲乙\r\nabc\r\n"));
    Orvanta::Test::writeFile(m_workDir.filePath(QStringLiteral("a.txt")), criteria);

    // Two pages written out byte for byte, and what the window must make of
    // them: the newest document as it is, and the first document of a
    // two-word search with both words in red, each time they occur.
    const QString both = QStringLiteral("人參 甘草");
    const QByteArray page = "<html><body><p>\xa4\x48\xb0\xd1\xa1\x42\xa5\xcc\xaf\xf3 \xa4\x48\xb0\xd1</p>"
                            "</body></html>\r\n";
    const QByteArray marked = "<html><body><p><font color=red>\xa4\x48\xb0\xd1</font>\xa1\x42<font color=red>"
                              "\xa5\xcc\xaf\xf3</font> <font color=red>\xa4\x48\xb0\xd1</font></p></body></html>\r\n";
    for (const QString& query : {QString(), both}) {
        const QString file = m_install->pageFile(query, 1);
        ASSERT_FALSE(file.isEmpty());
        Orvanta::Test::writeFile(file, page);
    }

    start();
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    shot(QStringLiteral("01-first-search.png"));
    EXPECT_EQ(show(fileBytes(m_install->tempPage())), show(page));

    // Enter searches; the order of the list shows in the rows Down walks to.
    search(window, both, false);
    shot(QStringLiteral("02-search-two-words.png"));
    EXPECT_EQ(show(fileBytes(m_install->tempPage())), show(marked));
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(both, 2);
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(both, 3);
    ASSERT_TRUE(m_session->key(QStringLiteral("Up")));
    expectPage(both, 2);

    const QString any = QStringLiteral("+人參 甘草");
    search(window, any, false);
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(any, 2);
    search(window, QStringLiteral("-人參 甘草"), false);
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(QStringLiteral("-人參 甘草"), 2);

    // The search button records each query in the history list; picking an
    // earlier entry and clicking again searches it once more.
    search(window, both, true);
    search(window, any, true);
    ASSERT_TRUE(m_session->focus(window));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    ASSERT_TRUE(m_session->key(QStringLiteral("alt+Down")));
    // The drop-down opens on the newest entry ("+人參 甘草"); the one above it
    // is "人參 甘草".
    waitUntil([] { return false; }, 500ms);
    shot(QStringLiteral("03-history.png"));
    ASSERT_TRUE(m_session->key(QStringLiteral("Up")));
    ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
    ASSERT_TRUE(m_session->click(window, kSearchButtonX, kSearchButtonY));
    expectPage(both, 1);

    // "條件存取" with the search button opens the criteria editor in the
    // current folder.
    const QString editor = openCriteriaEditor(window);
    ASSERT_FALSE(editor.isEmpty()) << "the criteria editor did not open";
    EXPECT_EQ(m_session->windowName(editor).toStdString(), kEditorTitle.toStdString());

    // Load a.txt (double-click), add a line, save.
    const QString file = QFileInfo(m_workDir.filePath(QStringLiteral("a.txt"))).absoluteFilePath();
    ASSERT_TRUE(m_session->click(editor, kFirstFileX, kFirstFileY, 2));
    EXPECT_TRUE(waitUntil([&] { return m_session->windowName(editor) == file; }, 10s))
        << "after the double-click the caption is \"" << m_session->windowName(editor).toStdString()
        << "\", not the file's path";
    shot(QStringLiteral("04-criteria-loaded.png"));
    ASSERT_TRUE(m_session->click(editor, kTextAreaX, kTextAreaY));
    ASSERT_TRUE(m_session->key(QStringLiteral("ctrl+End")));
    ASSERT_TRUE(m_session->type(QStringLiteral("丙")));
    ASSERT_TRUE(m_session->click(editor, kSaveButtonX, kSaveButtonY));
    // The loaded text ended with CR LF, so the typed line follows it, and the
    // save adds one more CR LF.
    const QByteArray saved = Orvanta::Cp950::encode(QStringLiteral("甲乙\r\nabc\r\n丙\r\n"));
    EXPECT_TRUE(waitUntil([&] { return fileBytes(file) == saved; }, 10s))
        << "a.txt holds " << fileBytes(file).toHex(' ').toStdString() << ", expected "
        << saved.toHex(' ').toStdString();
    shot(QStringLiteral("05-criteria-saved.png"));

    // Closing the last windows ends the program; the temporary page goes.
    ASSERT_TRUE(m_session->requestClose(editor));
    // Its caption is the file's path by now: wait for the window itself.
    ASSERT_TRUE(waitUntil([&] { return m_session->windowName(editor).isEmpty(); }, 10s))
        << "the criteria editor did not close";
    EXPECT_TRUE(m_program->running()) << "the program ended with its search window still open";
    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
    EXPECT_FALSE(QFileInfo::exists(m_install->tempPage())) << "the temporary page is still there";
}

TEST_F(DesktopProgramTest, TheCriteriaEditorOutlivesTheSearchWindow)
{
    start();
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    const QString editor = openCriteriaEditor(window);
    ASSERT_FALSE(editor.isEmpty()) << "the criteria editor did not open";

    // The search window goes first; the program lives on in the editor.
    ASSERT_TRUE(m_session->requestClose(window));
    EXPECT_TRUE(m_session->waitForNoWindow(kSearchWindow)) << "the search window did not close";
    EXPECT_TRUE(m_program->running()) << "the program ended with the criteria editor open";
    EXPECT_EQ(m_session->windows(kEditor), QStringList{editor});
    ASSERT_TRUE(m_session->requestClose(editor));
    expectEnd();
}

TEST_F(DesktopProgramTest, ClosingTheStartScreenEndsTheProgram)
{
    start();
    const QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty()) << "the start screen \"Tarsel Orvanta\" did not appear";
    ASSERT_TRUE(m_session->requestClose(startScreen));
    expectEnd();
    EXPECT_FALSE(QFileInfo::exists(m_install->tempPage()));
}

TEST_F(DesktopProgramTest, DamagedDatabaseShowsTheRunTimeErrorAndTheProgramGoesOn)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    const QByteArray whole = Orvanta::Test::readFile(
        Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")));
    ASSERT_GT(whole.size(), 4096);
    // Cut inside its list of tables: nothing of it can be read.
    Orvanta::Test::writeFile(m_install->path(QStringLiteral("jst.mdb")), whole.left(3 * 4096 + 17));

    start();
    const QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty()) << "the start screen \"Tarsel Orvanta\" did not appear";
    ASSERT_TRUE(m_session->click(startScreen, kQueryButtonX, kQueryButtonY));

    // The message box has the program's caption too: it is the second window
    // of that name.
    const QString box = m_session->waitForWindow(kStartScreen, 30s, {startScreen});
    ASSERT_FALSE(box.isEmpty()) << "no message box \"Tarsel Orvanta\" appeared";
    EXPECT_TRUE(m_session->waitForPaint(box)) << "the message box stays blank";
    shot(QStringLiteral("06-damaged-database.png"));
    EXPECT_TRUE(m_session->windowShot(box, artifactsDir() + QStringLiteral("/06-run-time-error.png")));
    EXPECT_TRUE(m_session->windows(kSearchWindow).isEmpty()) << "the search window opened all the same";
    EXPECT_TRUE(m_program->running());

    ASSERT_TRUE(m_session->focus(box));
    ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
    EXPECT_TRUE(waitUntil([&] { return !m_session->windows(kStartScreen).contains(box); }, 10s))
        << "the message box did not close on Return";
    EXPECT_TRUE(m_program->running()) << "the program ended after the run-time error";
    EXPECT_EQ(m_session->windows(kStartScreen), QStringList{startScreen}) << "the start screen is gone";

    ASSERT_TRUE(m_session->requestClose(startScreen));
    expectEnd();
}

TEST_F(DesktopProgramTest, F7PrintsTheCurrentRowsTitle)
{
    PrintQueue queue;
    if (!queue.unavailableReason().isEmpty())
        GTEST_SKIP() << "no PDF printer: " << queue.unavailableReason().toStdString();

    const QString window = openSearchWindowPrintingTo(queue);
    ASSERT_FALSE(window.isEmpty());
    const QString both = QStringLiteral("人參 甘草");
    search(window, both, false);
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(both, 2);

    // The title of row 2, as the command-line search lists it.
    const ToolResult list = runTool(m_install->path(QStringLiteral("orvanta-query")),
                                    {QStringLiteral("--dir"), m_install->folder(), QStringLiteral("--"), both});
    const QList<QByteArray> rows = list.out.split('\n');
    ASSERT_GT(rows.size(), 2) << "orvanta-query listed too few rows";
    const QString title = QString::fromUtf8(rows[1].split('\t').value(1)).trimmed();
    ASSERT_FALSE(title.isEmpty());

    ASSERT_TRUE(m_session->key(QStringLiteral("F7")));
    QString pdf;
    QString pdfText;
    const bool printed = waitUntil(
        [&] {
            pdf = queue.newestPdf();
            if (pdf.isEmpty())
                return false;
            const ToolResult text = runTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
            pdfText = QString::fromUtf8(text.out).trimmed();
            return text.ok && text.exitCode == 0 && !pdfText.isEmpty();
        },
        60s);
    ASSERT_TRUE(printed) << "no printed page appeared in " << queue.outputDir().toStdString()
                         << " after F7; newest PDF: \"" << pdf.toStdString() << "\"";
    if (!pdfText.contains(title)) {
        // The PDF printer passes the page through PostScript, and its CJK
        // glyphs come back in a Type 3 font whose glyphs carry no character
        // names: the text reads as other symbols, one per glyph. It still
        // shows which line was printed: the same words, and within each
        // word the same characters repeated in the same places.
        const QString rowOne = QString::fromUtf8(rows[0].split('\t').value(1)).trimmed();
        EXPECT_TRUE(sameShape(title, pdfText))
            << "the printed page holds neither \"" << title.toStdString()
            << "\" nor a text of its shape: \"" << pdfText.toStdString() << "\"";
        EXPECT_FALSE(sameShape(rowOne, pdfText))
            << "the printed text has the shape of row 1's title too, so it proves little: \""
            << pdfText.toStdString() << "\"";
        std::cerr << "printed text has no characters, compared by shape: \"" << pdfText.toStdString()
                  << "\"\n";
    }
    if (!pdf.isEmpty()) {
        QFile::remove(artifactsDir() + QStringLiteral("/07-f7.pdf"));
        QDir().mkpath(artifactsDir());
        QFile::copy(pdf, artifactsDir() + QStringLiteral("/07-f7.pdf"));
        // The page as a picture, for a look at what the text check cannot read.
        runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("60"), QStringLiteral("-png"),
                                             QStringLiteral("-singlefile"), pdf,
                                             artifactsDir() + QStringLiteral("/07-f7")});
        QFile::remove(pdf);
    }
    EXPECT_TRUE(m_program->running()) << "the program ended after printing";

    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
}

// The document view's part of the search window, in client pixels, less a
// margin: the list's coloured texts stay out of it.
constexpr int kViewLeft = 3830 / 15 + 6, kViewTop = 225 / 15 + 4;
constexpr int kViewRight = (3830 + 8000) / 15 - 20, kViewBottom = (225 + 8115) / 15 - 4;

// What the view shows, counted by kind of pixel.
struct ViewPixels {
    int red = 0;     // the red marks
    int outline = 0; // the current mark's blue outline
    int text = 0;    // dark text: the page is drawn
    int found = 0;   // the find bar's orange highlight of the active match
};

ViewPixels viewPixels(const XSession& session, const QString& window, const QString& name)
{
    ViewPixels counts;
    const QString path = artifactsDir() + QLatin1Char('/') + name;
    QDir().mkpath(artifactsDir());
    if (!session.windowShot(window, path))
        return counts;
    const QImage image(path);
    for (int y = kViewTop; y < std::min(kViewBottom, image.height()); ++y) {
        for (int x = kViewLeft; x < std::min(kViewRight, image.width()); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 80 && c.blue() < 80)
                ++counts.red;
            else if (c.red() < 90 && c.green() > 60 && c.green() < 130 && c.blue() > 150)
                ++counts.outline;
            else if (c.red() < 90 && c.green() < 90 && c.blue() < 90)
                ++counts.text;
            else if (c.red() > 220 && c.green() > 110 && c.green() < 190 && c.blue() < 90)
                ++counts.found;
        }
    }
    return counts;
}

// The search window on the Jet 4 install folder of the fixtures, whose long
// page has its only 龍骨尾 at its very end.
class ReadingTest : public DesktopProgramTest {
protected:
    std::unique_ptr<Installation> makeInstallation() override
    {
        return std::make_unique<Installation>(QStringLiteral("jet4-install"));
    }
};

TEST_F(ReadingTest, F3BringsTheOnlyMarkOfALongPageIntoSight)
{
    start();
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    search(window, QStringLiteral("龍骨尾"), false);

    // The page opens at its top: text, and no red anywhere.
    ViewPixels top;
    ASSERT_TRUE(waitUntil(
        [&] {
            top = viewPixels(*m_session, window, QStringLiteral("12-long-top.png"));
            return top.text > 2000;
        },
        20s))
        << "the long page is not drawn; dark pixels: " << top.text;
    QThread::msleep(500);
    top = viewPixels(*m_session, window, QStringLiteral("12-long-top.png"));
    EXPECT_EQ(top.red, 0) << "a red mark is in sight before F3";

    // F3 from the result list: the mark comes into sight, outlined.
    ASSERT_TRUE(m_session->key(QStringLiteral("F3")));
    ViewPixels marked;
    EXPECT_TRUE(waitUntil(
        [&] {
            marked = viewPixels(*m_session, window, QStringLiteral("12-long-f3.png"));
            return marked.red > 40 && marked.outline > 20;
        },
        20s))
        << "after F3: red pixels " << marked.red << ", outline pixels " << marked.outline;

    // The window's own keys still work: Esc to the query box, then a search.
    search(window, QStringLiteral("人參"), false);
    EXPECT_TRUE(m_program->running());
}

TEST_F(ReadingTest, FindNextAndEscLeaveTheWindowsKeysAlone)
{
    start();
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    search(window, QStringLiteral("甘草"), false);

    // Ctrl+F, a word, Enter for the next match. Ctrl+F again selects the
    // field, so a character xdotool loses is typed once more over it.
    ViewPixels found;
    for (int attempt = 1; attempt <= 3 && found.found <= 30; ++attempt) {
        ASSERT_TRUE(m_session->key(QStringLiteral("ctrl+f")));
        ASSERT_TRUE(m_session->type(QStringLiteral("草")));
        ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        waitUntil(
            [&] {
                found = viewPixels(*m_session, window, QStringLiteral("12-find.png"));
                return found.found > 30;
            },
            attempt < 3 ? 5s : 15s);
    }
    EXPECT_GT(found.found, 30) << "no match highlighted";
    const QByteArray before = fileBytes(m_install->tempPage());
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    // Esc closed the bar and its highlight; Enter in the bar found, it did
    // not search again or move the list.
    EXPECT_TRUE(waitUntil(
        [&] { return viewPixels(*m_session, window, QStringLiteral("12-find-closed.png")).found < 5; }, 10s));
    EXPECT_EQ(fileBytes(m_install->tempPage()), before);
    expectPage(QStringLiteral("甘草"), 1);

    // With the bar closed the keys are the window's again: Down gives the
    // list the focus, the next Down moves to row 2.
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    ASSERT_TRUE(m_session->key(QStringLiteral("Down")));
    expectPage(QStringLiteral("甘草"), 2);
}

TEST_F(ReadingTest, CtrlPPrintsTheShownPageWithItsMarks)
{
    PrintQueue queue;
    if (!queue.unavailableReason().isEmpty())
        GTEST_SKIP() << "no PDF printer: " << queue.unavailableReason().toStdString();
    const QString window = openSearchWindowPrintingTo(queue);
    ASSERT_FALSE(window.isEmpty());
    search(window, QStringLiteral("桂枝湯"), false);
    QThread::msleep(1000);

    ASSERT_TRUE(m_session->key(QStringLiteral("ctrl+p")));
    QString pdf;
    ASSERT_TRUE(waitUntil(
        [&] {
            pdf = queue.newestPdf();
            return !pdf.isEmpty() && QFileInfo(pdf).size() > 0;
        },
        90s))
        << "no printed page appeared in " << queue.outputDir().toStdString();
    QThread::msleep(1000); // the PDF printer may still be writing
    const QString picture = artifactsDir() + QStringLiteral("/12-ctrl-p");
    QFile::remove(picture + QStringLiteral(".png"));
    const ToolResult shown = runTool(QStringLiteral("pdftoppm"),
                                     {QStringLiteral("-r"), QStringLiteral("60"), QStringLiteral("-png"),
                                      QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                      picture});
    ASSERT_TRUE(shown.ok && shown.exitCode == 0) << shown.err.toStdString();
    const QImage page(picture + QStringLiteral(".png"));
    int red = 0;
    int dark = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 100 && c.blue() < 100;
            dark += c.red() < 90 && c.green() < 90 && c.blue() < 90;
        }
    }
    EXPECT_GT(dark, 50) << "the printed page holds no text";
    EXPECT_GT(red, 5) << "the printed page holds no red mark";
    QFile::remove(pdf);
    EXPECT_TRUE(m_program->running()) << "the program ended after printing";
    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
}

TEST_F(DesktopProgramTest, NewWindowsAreDrawnWithoutAWindowManager)
{
    expectNewWindowsDrawn(QStringLiteral("08-no-wm"));
}

// The same under a window manager, which frames the windows.
class DesktopProgramUnderAWindowManager : public DesktopProgramTest {
protected:
    XSession::WindowManager windowManager() const override { return XSession::WindowManager::Openbox; }
};

TEST_F(DesktopProgramUnderAWindowManager, NewWindowsAreDrawn)
{
    expectNewWindowsDrawn(QStringLiteral("08-openbox"));
}

// Without a printer F7 in the result list shows its message once per press:
// the key travels on to the window after the box is closed, and must not be
// taken for a second press.
TEST_F(DesktopProgramTest, F7WithoutAPrinterShowsTheMessageOnce)
{
    QProcessEnvironment noPrinter;
    noPrinter.insert(QStringLiteral("CUPS_SERVER"), m_workDir.filePath(QStringLiteral("no-printing-service")));
    noPrinter.insert(QStringLiteral("PRINTER"), QString());
    start(noPrinter);
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    ASSERT_TRUE(m_session->focus(window)); // the list has the focus after the first search

    ASSERT_TRUE(m_session->key(QStringLiteral("F7")));
    const QString box = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(box.isEmpty()) << "F7 showed no message";
    EXPECT_TRUE(m_session->waitForPaint(box, 5s));
    ASSERT_TRUE(m_session->focus(box));
    ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
    EXPECT_TRUE(waitUntil([&] { return !m_session->windows(kStartScreen).contains(box); }, 10s));
    EXPECT_TRUE(m_session->waitForWindow(kStartScreen, 3s).isEmpty()) << "a second message followed the first";
    EXPECT_TRUE(m_program->running());

    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
}

// The programs in a folder of their own: a collection given on the command
// line opens at once (Enter clicks the focused query button); without one
// the chooser opens, refuses a folder without jst.mdb by name, and the
// collection chosen there opens now and at the next start.
TEST_F(DesktopProgramTest, CollectionOnTheCommandLineAndFromTheChooser)
{
    const QString program = programsWithoutCollection();
    startWith(program, {m_install->folder()});
    QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty()) << "the start screen did not appear for the folder given";
    ASSERT_TRUE(m_session->focus(startScreen));
    ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
    const QString search = m_session->waitForWindow(kSearchWindow);
    ASSERT_FALSE(search.isEmpty()) << "Enter on the query button did not open the search window";
    expectPage(QString(), 1);
    ASSERT_TRUE(m_session->requestClose(search));
    expectEnd();
    EXPECT_FALSE(rememberedCollection().contains(m_install->folder())) << "a folder given is not remembered";

    startWith(program, {});
    QString chooser = m_session->waitForWindow(kChooser);
    ASSERT_FALSE(chooser.isEmpty()) << "no folder chooser without a collection";
    shot(QStringLiteral("10-chooser.png"));
    ASSERT_TRUE(chooseFolder(chooser, m_programs.path()));
    closeMessage(QStringLiteral("10-no-collection-here.png"));
    chooser = m_session->waitForWindow(kChooser);
    ASSERT_FALSE(chooser.isEmpty()) << "the chooser did not open again after the message";
    ASSERT_TRUE(chooseFolder(chooser, m_install->folder()));
    startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty()) << "the chosen collection did not open";
    ASSERT_TRUE(m_session->requestClose(startScreen));
    expectEnd();
    EXPECT_TRUE(rememberedCollection().contains(m_install->folder())) << rememberedCollection().toStdString();

    // The next start opens the remembered collection without asking.
    startWith(program, {});
    startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty());
    EXPECT_TRUE(m_session->windows(kChooser).isEmpty());
    ASSERT_TRUE(m_session->requestClose(startScreen));
    expectEnd();
}

// The collection's jst.mdb, as a file manager passes it to the desktop entry
// (Exec=orvanta %f), stands for the folder that holds it.
TEST_F(DesktopProgramTest, TheDatabaseFileGivenOpensItsCollection)
{
    const QString program = programsWithoutCollection();
    startWith(program, {m_install->path(QStringLiteral("jst.mdb"))});
    const QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty()) << "the start screen did not appear for the jst.mdb given";
    EXPECT_TRUE(m_session->windows(kChooser).isEmpty());
    ASSERT_TRUE(m_session->requestClose(startScreen));
    expectEnd();
}

// A folder that is some other file, and a remembered collection that went
// away: each is named in a message, then the chooser opens; closing it ends
// the program.
TEST_F(DesktopProgramTest, BadFoldersAreNamedAndTheChooserOpens)
{
    const QString program = programsWithoutCollection();
    startWith(program, {m_install->path(QStringLiteral("orvanta-query"))});
    closeMessage(QStringLiteral("11-a-file-given.png"));
    QString chooser = m_session->waitForWindow(kChooser);
    ASSERT_FALSE(chooser.isEmpty()) << "the chooser did not open after the message";
    ASSERT_TRUE(m_session->focus(chooser));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    expectEnd();

    Orvanta::Test::writeFile(m_config.filePath(QStringLiteral("Tarsel/Orvanta.conf")),
                             "[General]\ncollection=" + QFile::encodeName(m_workDir.filePath(QStringLiteral("gone")))
                                 + "\n");
    startWith(program, {});
    closeMessage(QStringLiteral("11-collection-gone.png"));
    chooser = m_session->waitForWindow(kChooser);
    ASSERT_FALSE(chooser.isEmpty()) << "the chooser did not open for a collection that went away";
    ASSERT_TRUE(m_session->focus(chooser));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    expectEnd();
}

// A collection on read-only media: the pages are shown, marked, from the
// user's own folder; nothing is written into the collection.
TEST_F(DesktopProgramTest, ReadOnlyCollectionShowsMarkedPages)
{
    const Orvanta::Test::ReadOnlyFolder readOnly(m_install->folder());
    if (!readOnly.ok())
        GTEST_SKIP() << readOnly.error().toStdString();

    QTemporaryDir runtime;
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    startWith(m_install->path(QStringLiteral("orvanta")), {}, env);
    const QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty());
    ASSERT_TRUE(m_session->click(startScreen, kQueryButtonX, kQueryButtonY));
    const QString window = m_session->waitForWindow(kSearchWindow);
    ASSERT_FALSE(window.isEmpty());

    const QString page = runtime.filePath(QStringLiteral("orvanta/TmpVORTAN-%1.htm").arg(m_program->processId()));
    const QByteArray base =
        "<base href=\"" + QUrl::fromLocalFile(m_install->tempPage()).toEncoded() + "\">";
    const auto shows = [&](const QString& query) {
        const QByteArray expected = m_install->expectedPage(query, 1);
        return waitUntil(
            [&] {
                QByteArray bytes = fileBytes(page);
                return bytes.contains(base) && bytes.replace(base, QByteArray()) == expected;
            },
            8s);
    };
    EXPECT_TRUE(shows(QString())) << "the private page does not hold row 1; it starts with:\n" << show(fileBytes(page));

    // Typed again when xdotool loses a character on the way.
    const QString word = QStringLiteral("人參");
    bool found = false;
    for (int attempt = 1; attempt <= 3 && !found; ++attempt) {
        ASSERT_TRUE(m_session->focus(window));
        ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
        ASSERT_TRUE(m_session->type(word));
        ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        found = shows(word);
    }
    EXPECT_TRUE(found) << "after the search the private page starts with:\n" << show(fileBytes(page));
    EXPECT_FALSE(QFileInfo::exists(m_install->path(QStringLiteral("tmp")))) << "written into the collection";

    // The view draws the page, marks in red included.
    const QString picture = artifactsDir() + QStringLiteral("/12-read-only-collection.png");
    int red = 0, ink = 0;
    waitUntil(
        [&] {
            if (!m_session->windowShot(window, picture))
                return false;
            const QImage image(picture);
            red = ink = 0;
            // The document view: 3830, 225, 8000 x 8115 twips.
            for (int y = 15; y < qMin(image.height(), 556); ++y) {
                for (int x = 256; x < qMin(image.width(), 788); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                        ++red;
                    else if (c.lightness() < 128)
                        ++ink;
                }
            }
            return red > 10 && ink > 200;
        },
        15s);
    EXPECT_GT(ink, 200) << "the document view looks blank; see " << picture.toStdString();
    EXPECT_GT(red, 10) << "no red marks in the document view; see " << picture.toStdString();

    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
    EXPECT_FALSE(QFileInfo::exists(page)) << "the private page stays behind";
}

// What a user of a desktop expects, under a window manager that frames the
// windows: the search window's outer size after framing, Enter on a history
// entry searches, F7 prints with the history open.
TEST_F(DesktopProgramUnderAWindowManager, PlatformConventions)
{
    PrintQueue queue;
    QProcessEnvironment printer;
    if (queue.unavailableReason().isEmpty())
        printer.insert(QStringLiteral("PRINTER"), queue.name());
    start(printer);
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    // 12120 x 9100 twips at the screen's top-left corner, frame included.
    QRect outer;
    const bool placed = waitUntil(
        [&] {
            outer = m_session->outerGeometry(window);
            return std::abs(outer.x()) <= 1 && std::abs(outer.y()) <= 1 && std::abs(outer.width() - 808) <= 1
                   && std::abs(outer.height() - 607) <= 1;
        },
        10s);
    EXPECT_TRUE(placed) << "outer rectangle " << outer.x() << "," << outer.y() << " " << outer.width() << "x"
                        << outer.height() << ", expected 0,0 808x607";
    shot(QStringLiteral("13-framed-search-window.png"));

    // One query recorded by the button, another searched with Enter; Enter
    // on the history's newest entry then searches the first again.
    const QString both = QStringLiteral("人參 甘草");
    search(window, both, true);
    search(window, QStringLiteral("甘草"), false);
    ASSERT_TRUE(m_session->focus(window));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    ASSERT_TRUE(m_session->key(QStringLiteral("alt+Down")));
    waitUntil([] { return false; }, 500ms);
    ASSERT_TRUE(m_session->key(QStringLiteral("End"))); // the newest entry
    ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
    expectPage(both, 1);

    if (queue.unavailableReason().isEmpty()) {
        ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
        ASSERT_TRUE(m_session->key(QStringLiteral("alt+Down")));
        waitUntil([] { return false; }, 500ms);
        ASSERT_TRUE(m_session->key(QStringLiteral("F7")));
        EXPECT_TRUE(waitUntil([&] { return !queue.newestPdf().isEmpty(); }, 60s))
            << "F7 with the history open printed nothing";
        QFile::remove(queue.newestPdf());
        ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    } else {
        std::cerr << "no PDF printer, F7 not checked: " << queue.unavailableReason().toStdString() << "\n";
    }

    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
}

} // namespace

namespace {

// A double-click on a window's title bar, which the window manager takes as
// maximise (or restore) when the window allows it.
bool doubleClickTitleBar(const XSession& session, const QString& window)
{
    const QRect outer = session.outerGeometry(window);
    const QRect client = windowRect(session.display(), window);
    if (outer.isEmpty() || client.isEmpty() || client.top() <= outer.top())
        return false;
    const int x = outer.left() + outer.width() / 3, y = (outer.top() + client.top()) / 2;
    return session.xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                            QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                            QStringLiteral("--delay"), QStringLiteral("120"), QStringLiteral("1")});
}

bool maximisedState(const XSession& session, const QString& window)
{
    const ToolResult r = runTool(QStringLiteral("xprop"),
                                 {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")}, 10s,
                                 session.environment());
    return r.ok && r.out.contains("_NET_WM_STATE_MAXIMIZED_HORZ") && r.out.contains("_NET_WM_STATE_MAXIMIZED_VERT");
}

// The most frequent colour of a part of an image.
QRgb commonColour(const QImage& image, const QRect& part)
{
    QHash<QRgb, int> counts;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            ++counts[image.pixel(x, y) & 0xffffff];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return best;
}

// The share of a part of an image in one colour.
double shareOf(const QImage& image, const QRect& part, QRgb colour)
{
    int same = 0;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            same += (image.pixel(x, y) & 0xffffff) == colour;
    return double(same) / double(part.width() * part.height());
}

// The start screen keeps its size whatever the window manager is asked; the
// search window grows when maximised, its document view filling the room,
// and the next run opens it maximised again.
TEST_F(DesktopProgramUnderAWindowManager, TheSearchWindowGrowsAndTheStartScreenDoesNot)
{
    start();
    const QString startScreen = m_session->waitForWindow(kStartScreen);
    ASSERT_FALSE(startScreen.isEmpty());
    ASSERT_TRUE(m_session->waitForPaint(startScreen));
    const ToolResult hints = runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), startScreen,
                                                              QStringLiteral("WM_NORMAL_HINTS")},
                                     10s, m_session->environment());
    EXPECT_TRUE(hints.out.contains("minimum size: 800 by 574") && hints.out.contains("maximum size: 800 by 574"))
        << hints.out.toStdString();
    ASSERT_TRUE(doubleClickTitleBar(*m_session, startScreen));
    waitUntil([] { return false; }, 1s);
    EXPECT_EQ(windowRect(m_session->display(), startScreen).size(), QSize(800, 574)) << "the start screen grew";
    EXPECT_FALSE(maximisedState(*m_session, startScreen));
    // The focus moves to the demonstration button; its ring shows.
    ASSERT_TRUE(m_session->focus(startScreen));
    ASSERT_TRUE(m_session->key(QStringLiteral("Tab")));
    waitUntil([] { return false; }, 500ms);
    m_session->windowShot(startScreen, artifactsDir() + QStringLiteral("/14-start-screen-focus-after-tab.png"));

    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    ASSERT_TRUE(doubleClickTitleBar(*m_session, window));
    QRect client;
    EXPECT_TRUE(waitUntil(
        [&] {
            client = windowRect(m_session->display(), window);
            return client.width() >= 1200 && client.height() >= 900 && maximisedState(*m_session, window);
        },
        10s))
        << "not maximised: " << client.width() << "x" << client.height();
    waitUntil([] { return false; }, 1500ms); // the view lays its page out anew
    shot(QStringLiteral("15-maximised-search-window.png"));
    runTool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                       artifactsDir() + QStringLiteral("/15-maximised-import.png")},
            20s, m_session->environment());

    // The page's own background, inside the view's designed rectangle, fills
    // the view down to the bottom right, where the window's panel showed
    // before it grew.
    const QImage image = m_session->windowOnScreen(window);
    ASSERT_FALSE(image.isNull());
    const QRgb page = commonColour(image, QRect(420, 420, 300, 100));
    const QRect corner(image.width() - 13 - 120, image.height() - 26 - 80, 100, 60);
    const QRect right(image.width() - 13 - 120, 300, 100, 100);
    const QRect below(420, image.height() - 26 - 80, 300, 60);
    for (const QRect& part : {corner, right, below})
        EXPECT_GT(shareOf(image, part, page), 0.9)
            << "the view does not reach " << part.x() << "," << part.y() << " of " << image.width() << "x"
            << image.height();

    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();

    // The next run: maximised again.
    start();
    const QString again = openSearchWindow();
    ASSERT_FALSE(again.isEmpty());
    EXPECT_TRUE(waitUntil(
        [&] {
            client = windowRect(m_session->display(), again);
            return client.width() >= 1200 && maximisedState(*m_session, again);
        },
        10s))
        << "the second run did not open maximised: " << client.width() << "x" << client.height();
    // Restored, it goes back to the place it had before it was maximised.
    ASSERT_TRUE(doubleClickTitleBar(*m_session, again));
    QRect outer;
    EXPECT_TRUE(waitUntil(
        [&] {
            outer = m_session->outerGeometry(again);
            return std::abs(outer.x()) <= 1 && std::abs(outer.y()) <= 1 && std::abs(outer.width() - 808) <= 1
                   && std::abs(outer.height() - 607) <= 1;
        },
        10s))
        << "outer rectangle " << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();
    ASSERT_TRUE(m_session->requestClose(again));
    expectEnd();
}

// The criteria editor by keyboard alone: typing a folder's first letter and
// Enter opens it, typing a file's first letter and Enter loads it, Space
// opens the focused folder.
TEST_F(DesktopProgramUnderAWindowManager, TheCriteriaEditorByKeyboard)
{
    const QDir work(m_workDir.path());
    ASSERT_TRUE(work.mkpath(QStringLiteral("kappa")) && work.mkpath(QStringLiteral("alpha")));
    Orvanta::Test::writeFile(work.filePath(QStringLiteral("kappa/k1.txt")), "k1\r\n");
    Orvanta::Test::writeFile(work.filePath(QStringLiteral("kappa/m2.set")), "m2\r\n");
    Orvanta::Test::writeFile(work.filePath(QStringLiteral("w.txt")), "w\r\n");
    const QString workPath = QDir(m_workDir.path()).canonicalPath();

    start();
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    const QString editor = openCriteriaEditorFromList(window);
    ASSERT_FALSE(editor.isEmpty()) << "the criteria editor did not open";
    ASSERT_TRUE(m_session->waitForPaint(editor));

    // A click in the folder list gives it the focus (a single click opens nothing).
    constexpr int kFolderListX = 24 + 100, kFolderListY = 64 + 8;
    ASSERT_TRUE(m_session->click(editor, kFolderListX, kFolderListY));
    const auto keys = [&](const QStringList& names) {
        for (const QString& name : names) {
            if (!m_session->key(name))
                return false;
            waitUntil([] { return false; }, 600ms); // each key a run of typing of its own
        }
        return true;
    };
    // To the folder, open it, back to the file list, to the file, load it.
    ASSERT_TRUE(keys({"k", "Return", "shift+Tab", "shift+Tab", "m", "Return"}));
    const QString loaded = workPath + QStringLiteral("/kappa/m2.set");
    EXPECT_TRUE(waitUntil([&] { return m_session->windowName(editor) == loaded; }, 10s))
        << "caption: " << m_session->windowName(editor).toStdString();
    m_session->windowShot(editor, artifactsDir() + QStringLiteral("/16-criteria-editor-by-keyboard.png"));

    // Back in the folder list the opened folder is the focused entry; the one
    // above it is the folder it lies in, which Space opens.
    ASSERT_TRUE(keys({"Tab", "Tab", "Up", "space", "shift+Tab", "shift+Tab", "w", "Return"}));
    const QString second = workPath + QStringLiteral("/w.txt");
    EXPECT_TRUE(waitUntil([&] { return m_session->windowName(editor) == second; }, 10s))
        << "caption: " << m_session->windowName(editor).toStdString();

    ASSERT_TRUE(m_session->requestClose(editor));
    ASSERT_TRUE(m_session->requestClose(window));
    expectEnd();
}

} // namespace
