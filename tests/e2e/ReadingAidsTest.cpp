// The search window's reading aids in the installed program on an X server
// with a window manager, where the window system's own tooltip, clipboard,
// menus and find highlights are what the reader sees: the find bar keeps
// finding as the rows change, the list's tooltip goes when its rows move
// under a resting mouse, Ctrl+C copies the current row, F1 shows the help
// page, and the context menus and the number found are there to look at.
#include "e2e/Installation.h"
#include "e2e/XSession.h"

#include <QDir>
#include <QImage>
#include <QThread>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace {

using namespace Orvanta::E2E;

const QString kStartScreen = QStringLiteral("^Tarsel Orvanta$");
const QString kSearchWindow = QStringLiteral("^Tarsel Orvanta-目錄瀏覽");
constexpr int kQueryButtonX = 560 + 70, kQueryButtonY = 248 + 24; // start screen's query button

// Client pixels of the search window, from its design in twips.
constexpr int kListX = 200 / 15 + 60;                 // inside the titles
constexpr int kListTop = 1200 / 15;                   // the header row's top edge
constexpr int kViewLeft = 3830 / 15 + 6, kViewTop = 225 / 15 + 4;
constexpr int kViewRight = (3830 + 8000) / 15 - 20, kViewBottom = (225 + 8115) / 15 - 4;
// Rows of the list as the window draws them, header row included: 27 pixels.
constexpr int kRowHeight = 27;

int rowCentre(int row)
{
    return kListTop + row * kRowHeight + kRowHeight / 2;
}

// The find bar's highlight of the active match in the view: orange.
int foundPixels(const QImage& window)
{
    int found = 0;
    for (int y = kViewTop; y < std::min(kViewBottom, window.height()); ++y) {
        for (int x = kViewLeft; x < std::min(kViewRight, window.width()); ++x) {
            const QColor c = window.pixelColor(x, y);
            if (c.red() > 220 && c.green() > 110 && c.green() < 190 && c.blue() < 90)
                ++found;
        }
    }
    return found;
}

class ReadingAidsOnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_session = std::make_unique<XSession>(XSession::WindowManager::Openbox);
        ASSERT_TRUE(m_session->started()) << m_session->error().toStdString();
        m_install = std::make_unique<Installation>(QStringLiteral("jet4-install"));
        ASSERT_TRUE(m_install->ok()) << m_install->error().toStdString();
        ASSERT_TRUE(m_workDir.isValid());
        QDir().mkpath(artifactsDir());
    }

    void TearDown() override
    {
        if (HasFailure() && m_session && m_session->started()) {
            const QString shot = artifactsDir() + QStringLiteral("/failure-reading-aids.png");
            if (m_session->screenshot(shot))
                std::cerr << "screen at the failure: " << shot.toStdString() << "\n";
            if (m_program)
                std::cerr << "program output (end):\n" << m_program->output().toStdString() << "\n";
        }
        m_program.reset();
        m_session.reset();
    }

    QString openSearchWindow()
    {
        m_program = std::make_unique<ProgramRun>(*m_install, *m_session, m_workDir.path());
        EXPECT_TRUE(m_program->running()) << m_program->startError().toStdString();
        const QString startScreen = m_session->waitForWindow(kStartScreen);
        EXPECT_FALSE(startScreen.isEmpty());
        if (startScreen.isEmpty())
            return {};
        EXPECT_TRUE(m_session->waitForPaint(startScreen));
        EXPECT_TRUE(m_session->click(startScreen, kQueryButtonX, kQueryButtonY));
        const QString search = m_session->waitForWindow(kSearchWindow);
        EXPECT_FALSE(search.isEmpty());
        if (!search.isEmpty())
            EXPECT_TRUE(m_session->waitForPaint(search));
        return search;
    }

    QImage shot(const QString& window, const QString& name)
    {
        const QString path = artifactsDir() + QLatin1Char('/') + name;
        if (!m_session->windowShot(window, path))
            return {};
        return QImage(path);
    }

    // Top-level windows that came up since `before`: menus and tooltips.
    QStringList newTopLevels(const QStringList& before) const
    {
        QStringList added;
        for (const QString& id : m_session->topLevels()) {
            if (!before.contains(id))
                added << id;
        }
        return added;
    }

    std::unique_ptr<XSession> m_session;
    std::unique_ptr<Installation> m_install;
    std::unique_ptr<ProgramRun> m_program;
    QTemporaryDir m_workDir;
};

TEST_F(ReadingAidsOnTheDesktop, FindBarTooltipCopyHelpAndMenus)
{
    const QString window = openSearchWindow();
    ASSERT_FALSE(window.isEmpty());
    const QString rowOne = m_install->pageFile(QString(), 1);
    ASSERT_FALSE(rowOne.isEmpty());
    // The list lists every document, newest first; rows 1, 4 and 5 hold 草.
    QThread::msleep(1500);
    const QImage opened = shot(window, QStringLiteral("20-window.png"));
    ASSERT_FALSE(opened.isNull());

    // Ctrl+C on the list: the row's title and path. The list has the focus.
    ASSERT_TRUE(m_session->key(QStringLiteral("ctrl+c")));
    const std::optional<QString> copied = m_session->clipboardText();
    ASSERT_TRUE(copied.has_value()) << "nothing on the clipboard after Ctrl+C on the list";
    EXPECT_EQ(copied->section(QLatin1Char('\t'), 1), QStringLiteral("data\\a003.htm")) << copied->toStdString();
    EXPECT_EQ(copied->section(QLatin1Char('\t'), 0, 0), QStringLiteral("金匱要略．人參湯"));

    // The find bar on row 1, then the rows change under it: every page has
    // its match highlighted.
    int found = 0;
    for (int attempt = 1; attempt <= 3 && found <= 30; ++attempt) {
        ASSERT_TRUE(m_session->key(QStringLiteral("ctrl+f")));
        ASSERT_TRUE(m_session->type(QStringLiteral("草")));
        ASSERT_TRUE(m_session->key(QStringLiteral("Return")));
        waitUntil([&] { return (found = foundPixels(shot(window, QStringLiteral("21-find-row1.png")))) > 30; },
                  attempt < 3 ? 5s : 15s);
    }
    ASSERT_GT(found, 30) << "no match highlighted on row 1";
    // A click on a title moves the list there and gives it the focus; the
    // bar stays open and finds again in the row's page, or says there is
    // nothing.
    const struct {
        int row;
        bool holdsIt;
    } rows[] = {{4, true}, {2, false}, {5, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.row);
        ASSERT_TRUE(m_session->click(window, kListX, rowCentre(r.row)));
        ASSERT_TRUE(waitUntil([&] { return fileBytes(m_install->tempPage()) == m_install->expectedPage(QString(), r.row); },
                              15s))
            << "the page of row " << r.row << " is not shown";
        const QString name = QStringLiteral("22-find-row%1.png").arg(r.row);
        if (r.holdsIt) {
            EXPECT_TRUE(waitUntil([&] { return (found = foundPixels(shot(window, name))) > 30; }, 15s))
                << "row " << r.row << ": no match highlighted, " << found << " pixels";
        } else {
            QThread::msleep(1500);
            EXPECT_LT(foundPixels(shot(window, name)), 5);
        }
    }

    // The mouse rests on row 5: its tooltip comes up. A key that moves the
    // rows under it takes it away; a little move brings the right one back.
    const struct {
        const char* key;
        const char* what;
    } moves[] = {{"Next", "Page Down"}, {"ctrl+Home", "Ctrl+Home"}};
    int nudge = 0;
    for (const auto& m : moves) {
        SCOPED_TRACE(m.what);
        const QStringList before = m_session->topLevels();
        ++nudge;
        ASSERT_TRUE(m_session->xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                        QString::number(kListX + nudge * 3), QString::number(rowCentre(5))}));
        QStringList tip;
        ASSERT_TRUE(waitUntil([&] { return !(tip = newTopLevels(before)).isEmpty(); }, 10s))
            << "no tooltip over the list";
        m_session->screenshot(artifactsDir() + QStringLiteral("/23-tooltip-%1.png").arg(nudge));
        ASSERT_TRUE(m_session->key(QString::fromLatin1(m.key)));
        EXPECT_TRUE(waitUntil([&] { return newTopLevels(before).isEmpty(); }, 5s))
            << "the tooltip is still up after " << m.what;
        m_session->screenshot(artifactsDir() + QStringLiteral("/24-after-%1.png").arg(nudge));
    }

    // F1 shows the help page in the view, the row stays.
    const QImage document = shot(window, QStringLiteral("25-before-f1.png"));
    ASSERT_TRUE(m_session->key(QStringLiteral("F1")));
    QImage help;
    EXPECT_TRUE(waitUntil(
        [&] {
            help = shot(window, QStringLiteral("25-f1.png"));
            return !help.isNull() && help.copy(kViewLeft, kViewTop, 300, 80) != document.copy(kViewLeft, kViewTop, 300, 80);
        },
        10s))
        << "the view did not change on F1";

    // The context menus, to look at: the page's with a word selected, and
    // the list's.
    ASSERT_TRUE(m_session->click(window, kViewLeft + 60, kViewTop + 70, 2));
    QStringList before = m_session->topLevels();
    ASSERT_TRUE(m_session->xdotool({QStringLiteral("click"), QStringLiteral("3")}));
    QStringList menu;
    EXPECT_TRUE(waitUntil([&] { return !(menu = newTopLevels(before)).isEmpty(); }, 10s)) << "no menu in the page";
    QThread::msleep(500);
    m_session->screenshot(artifactsDir() + QStringLiteral("/26-page-menu.png"));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return newTopLevels(before).isEmpty(); }, 5s));

    before = m_session->topLevels();
    ASSERT_TRUE(m_session->xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                    QString::number(kListX), QString::number(rowCentre(3))}));
    ASSERT_TRUE(m_session->xdotool({QStringLiteral("click"), QStringLiteral("3")}));
    EXPECT_TRUE(waitUntil(
        [&] {
            menu = newTopLevels(before);
            return !menu.isEmpty() && m_session->waitForPaint(menu.last(), 1s);
        },
        10s))
        << "no menu on the list";
    QThread::msleep(500);
    m_session->screenshot(artifactsDir() + QStringLiteral("/27-list-menu.png"));
    ASSERT_TRUE(m_session->key(QStringLiteral("Escape")));
    EXPECT_TRUE(m_program->running());
}

} // namespace
