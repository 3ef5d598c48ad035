// The wait cursor: up at the first sign of progress once a handler has run
// for about 100 ms, never for a short one, kept through nested handlers, gone
// when the outermost handler returns and while a message box waits.
#include "app/forms/Handler.h"
#include "platform/Progress.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace Orvanta::Test {
namespace {

bool waitCursorUp()
{
    const QCursor* c = QApplication::overrideCursor();
    return c && c->shape() == Qt::WaitCursor;
}

class BusyCursorTest : public ::testing::Test {
protected:
    void SetUp() override { BusyCursor::install(); }
    void TearDown() override
    {
        Progress::hook = nullptr;
        MessageSink::setRecorder({});
    }
    static void handler(const std::function<void()>& body)
    {
        runHandler(body);
    }
};

TEST_F(BusyCursorTest, OnlyForAHandlerThatRunsLong)
{
    bool duringShort = true;
    handler([&] {
        Progress::tick();
        duringShort = waitCursorUp();
    });
    EXPECT_FALSE(duringShort);

    bool beforeTick = true, afterTick = false, afterNested = false;
    handler([&] {
        QThread::msleep(BusyCursor::kDelayMs + 30);
        beforeTick = waitCursorUp(); // nothing said it is still going
        Progress::tick();
        afterTick = waitCursorUp();
        handler([&] { Progress::tick(); });
        afterNested = waitCursorUp();
    });
    EXPECT_FALSE(beforeTick);
    EXPECT_TRUE(afterTick);
    EXPECT_TRUE(afterNested) << "a nested handler leaves the cursor to the outermost one";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor stays after the handler";
    Progress::tick();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "a tick outside any handler";
}

TEST_F(BusyCursorTest, NotOverAMessageBox)
{
    bool overBox = true, afterBoxAtOnce = true, afterBoxLater = false;
    MessageSink::setRecorder([&](QString, QString) { overBox = waitCursorUp(); });
    handler([&] {
        QThread::msleep(BusyCursor::kDelayMs + 30);
        Progress::tick();
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), QStringLiteral("x"));
        Progress::tick();
        afterBoxAtOnce = waitCursorUp();
        QThread::msleep(BusyCursor::kDelayMs + 30);
        Progress::tick();
        afterBoxLater = waitCursorUp();
    });
    EXPECT_FALSE(overBox);
    EXPECT_FALSE(afterBoxAtOnce) << "the clock starts again after the box";
    EXPECT_TRUE(afterBoxLater);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace Orvanta::Test
