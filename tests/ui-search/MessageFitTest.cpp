// Message boxes fit the screen: a 5,000-character query comes back whole in
// the "資料不存在" box, and its OK button is on the screen.
#include "SearchTestSupport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/SearchExecution.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

// What the box on the screen was like, taken while it waited for the user.
struct SeenBox {
    bool seen = false;
    bool plainBox = false; // the ordinary message box
    QRect frame;
    QRect screen;
    QStringList buttons;
    QRect okButton; // global
    bool okVisible = false;
    QString text;
};

// Shows `text` as the program shows a message, looks at the box that opens
// and presses its OK button.
SeenBox showAndLook(const std::function<void()>& show)
{
    SeenBox seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible() || seen.seen)
            return;
        seen.seen = true;
        seen.plainBox = qobject_cast<QMessageBox*>(box) != nullptr;
        seen.frame = box->frameGeometry();
        seen.screen = box->screen()->availableGeometry();
        if (auto* field = box->findChild<QPlainTextEdit*>())
            seen.text = field->toPlainText();
        else if (auto* message = qobject_cast<QMessageBox*>(box))
            seen.text = message->text();
        QPushButton* ok = nullptr;
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (!b->isVisible())
                continue;
            seen.buttons << b->text();
            ok = b;
        }
        if (ok) {
            seen.okVisible = ok->isVisible() && !ok->visibleRegion().isEmpty();
            seen.okButton = QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
            if (const QString shot = qEnvironmentVariable("ORVANTA_MESSAGE_SHOT"); !shot.isEmpty() && !seen.plainBox)
                box->screen()->grabWindow(0).save(shot);
            ok->click();
        }
    });
    poll.start(50);
    show();
    poll.stop();
    return seen;
}

} // namespace

TEST_F(SearchWindowTest, ALongQuerysMessageFitsTheScreen)
{
    makeCollection({{QStringLiteral("甲"), QStringLiteral("data\\a.htm"), QStringLiteral("甲"),
                     QStringLiteral("2020-01-01"), QStringLiteral("<p>甲</p>")}});
    FrmVelmoraMain& w = showWindow();
    MessageSink::setRecorder({});

    struct Case {
        QString query;
        const char* why;
    };
    const std::vector<Case> cases = {
        {QString(5000, QChar(u'乙')), "a Chinese query wraps anywhere"},
        {QString(2500, QChar(u'乙')) + QString(2500, QChar(u'x')), "a run of letters with no space still wraps"},
        {QStringLiteral("乙 ").repeated(2500).trimmed(), "many words"},
    };
    for (const Case& c : cases) {
        w.TxtQuery()->setEditText(c.query);
        const SeenBox seen = showAndLook([&w] { w.RunSearch(); });
        ASSERT_TRUE(seen.seen) << c.why;
        EXPECT_FALSE(seen.plainBox) << c.why;
        EXPECT_TRUE(seen.screen.contains(seen.frame)) << c.why << ": the box is " << seen.frame.height() << " high";
        EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("OK")}) << c.why;
        EXPECT_TRUE(seen.okVisible) << c.why;
        EXPECT_TRUE(seen.screen.contains(seen.okButton)) << c.why;
        EXPECT_EQ(seen.text, emptyResultMessage(c.query)) << c.why << ": every word kept";
    }

    // A message that fits keeps the ordinary box.
    const SeenBox shortOne = showAndLook([] { MessageSink::show(QStringLiteral("Tarsel Orvanta"), QStringLiteral("短訊")); });
    ASSERT_TRUE(shortOne.seen);
    EXPECT_TRUE(shortOne.plainBox);
    EXPECT_EQ(shortOne.text, QStringLiteral("短訊"));
    EXPECT_TRUE(shortOne.screen.contains(shortOne.frame));
}
