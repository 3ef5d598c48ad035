// The printer stand-ins and the injected keystrokes.
#include "platform/ui/Keystrokes.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Printer.h"
#include "platform/ui/ResultGrid.h"

#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Orvanta;

TEST(Printer, RecordingPrinterKeepsEveryStep)
{
    RecordingPrinter p;
    p.setFontSize(12);
    p.printLine(QString());
    p.printLine(QStringLiteral("標題"));
    p.endDocument();
    EXPECT_EQ(p.steps(), (QStringList{"size:12", "line:", "line:標題", "end"}));
}

TEST(Printer, CurrentIsReplaceableForTests)
{
    RecordingPrinter recording;
    Printer::setCurrentForTesting(&recording);
    EXPECT_EQ(&Printer::current(), &recording);
    Printer::setCurrentForTesting(nullptr);
    EXPECT_NE(dynamic_cast<DefaultPrinter*>(&Printer::current()), nullptr);
}

TEST(Printer, WithoutDefaultPrinterAMessageAndNothingElse)
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this machine has a default printer";
    std::vector<std::pair<QString, QString>> messages;
    MessageSink::setRecorder([&](QString caption, QString text) { messages.emplace_back(caption, text); });
    DefaultPrinter p;
    p.setFontSize(12);
    p.printLine(QString());
    p.printLine(QStringLiteral("標題"));
    p.endDocument();
    MessageSink::setRecorder({});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].second, DefaultPrinter::noPrinterMessage());
}

TEST(Keystrokes, VirtualKeyNumbers)
{
    const std::vector<std::pair<int, int>> cases = {
        {Qt::Key_Return, 13}, {Qt::Key_Enter, 13}, {Qt::Key_Escape, 27}, {Qt::Key_PageUp, 33},
        {Qt::Key_PageDown, 34}, {Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39},
        {Qt::Key_Down, 40}, {Qt::Key_F7, 118}, {Qt::Key_F1, 112}, {Qt::Key_A, 65}, {Qt::Key_5, 53},
        {Qt::Key_Shift, 16}, {Qt::Key_unknown, 0},
    };
    for (const auto& [key, code] : cases)
        EXPECT_EQ(Keystrokes::virtualKeyCode(key), code) << key;
}

TEST(Keystrokes, ShiftState)
{
    EXPECT_EQ(Keystrokes::shiftState(Qt::NoModifier), 0);
    EXPECT_EQ(Keystrokes::shiftState(Qt::ShiftModifier), 1);
    EXPECT_EQ(Keystrokes::shiftState(Qt::ControlModifier), 2);
    EXPECT_EQ(Keystrokes::shiftState(Qt::AltModifier), 4);
    EXPECT_EQ(Keystrokes::shiftState(Qt::ShiftModifier | Qt::AltModifier | Qt::KeypadModifier), 5);
}

// The keys reach the focused control as typed keys would, once events are
// processed; a Page Down and a Page Up there move the grid's current row.
TEST(Keystrokes, PageKeysReachTheFocusedControl)
{
    QWidget window;
    window.resize(300, 300);
    ResultGrid* grid = new ResultGrid(&window);
    grid->setGeometry(0, 0, 300, 300);
    auto rows = std::make_shared<ResultTable>(QStringList{"subject", "htm"});
    for (int i = 1; i <= 100; ++i) {
        rows->appendCell(QString::number(i));
        rows->appendCell(QString());
    }
    grid->bind(rows);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    grid->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), grid);
    QSignalSpy changes(grid, &ResultGrid::currentCellChanged);

    Keystrokes::sendPageDown();
    EXPECT_EQ(grid->currentRow(), 1) << "queued, not yet delivered";
    Keystrokes::processPendingEvents();
    const int afterDown = grid->currentRow();
    EXPECT_GT(afterDown, 1);
    EXPECT_EQ(changes.count(), 1);

    Keystrokes::sendPageUp();
    Keystrokes::processPendingEvents();
    EXPECT_EQ(grid->currentRow(), 1);
    EXPECT_EQ(changes.count(), 2);
}

TEST(Keystrokes, NothingIsSentWithoutAFocusedControl)
{
    if (QApplication::focusWidget())
        QApplication::focusWidget()->clearFocus();
    Keystrokes::sendPageDown(); // must not crash or queue anything
    Keystrokes::processPendingEvents();
    SUCCEED();
}
