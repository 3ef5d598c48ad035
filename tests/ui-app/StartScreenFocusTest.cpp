// The start screen keeps its designed size, and its focused button shows a
// clear ring while its picture stays exactly as without the focus.
#include "AppTestSupport.h"

#include "app/startscreen/FrmIni.h"
#include "platform/ui/PictureButton.h"

#include <QApplication>
#include <QTest>

namespace Orvanta::Test {
namespace {

using StartScreenLook = AppTest;

// The ring: two pixels wide, just inside the two-pixel bevel, in the
// palette's highlight colour.
constexpr int kRingInset = 2;
constexpr int kRingWidth = 2;

QList<QPoint> ringPixels(QSize size)
{
    const QRect outer = QRect(QPoint(0, 0), size).adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
    const QRect inner = outer.adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth);
    QList<QPoint> out;
    for (int y = outer.top(); y <= outer.bottom(); ++y)
        for (int x = outer.left(); x <= outer.right(); ++x)
            if (!inner.contains(x, y))
                out << QPoint(x, y);
    return out;
}

QImage look(PictureButton* button)
{
    return button->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST_F(StartScreenLook, KeepsItsDesignedSize)
{
    FrmIni& f = Forms::show<FrmIni>();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QSize designed(800, 574);
    EXPECT_EQ(f.minimumSize(), designed);
    EXPECT_EQ(f.maximumSize(), designed);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint) << "no maximise button";
    EXPECT_TRUE(f.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowTitleHint);

    f.resize(1200, 900);
    EXPECT_EQ(f.size(), designed) << "not resizable";
    f.setWindowState(Qt::WindowMaximized);
    QTest::qWait(50);
    EXPECT_FALSE(f.isMaximized()) << "never maximised";
    EXPECT_EQ(f.size(), designed);
    EXPECT_EQ(f.cmdQuery()->geometry(), QRect(560, 248, 140, 49));
    EXPECT_EQ(f.cmdSet()->geometry(), QRect(560, 368, 140, 49));
}

TEST_F(StartScreenLook, TheFocusedButtonShowsARingAndKeepsItsPicture)
{
    FrmIni& f = Forms::show<FrmIni>();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

    struct Case {
        const char* how;
        Qt::Key key; // pressed before the look; Qt::Key_unknown: none
        Qt::KeyboardModifiers modifiers;
        PictureButton* focused;
        PictureButton* other;
    };
    const Case cases[] = {
        {"at the start", Qt::Key_unknown, {}, f.cmdQuery(), f.cmdSet()},
        {"after Tab", Qt::Key_Tab, {}, f.cmdSet(), f.cmdQuery()},
        {"after Shift+Tab", Qt::Key_Backtab, Qt::ShiftModifier, f.cmdQuery(), f.cmdSet()},
        {"after a mouse-free focus change in code", Qt::Key_unknown, {}, f.cmdSet(), f.cmdQuery()},
    };
    // Each button without the focus, as the reference.
    f.cmdSet()->setFocus();
    const QImage queryPlain = look(f.cmdQuery());
    f.cmdQuery()->setFocus();
    const QImage setPlain = look(f.cmdSet());
    ASSERT_FALSE(queryPlain.isNull() || setPlain.isNull());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        if (c.key != Qt::Key_unknown)
            QTest::keyClick(QApplication::focusWidget(), c.key, c.modifiers);
        else if (c.focused != f.cmdQuery() || !f.cmdQuery()->hasFocus())
            c.focused->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(c.focused->hasFocus());
        const QImage focused = look(c.focused);
        const QImage plain = c.focused == f.cmdQuery() ? queryPlain : setPlain;
        const QRgb ring = c.focused->palette().color(QPalette::Active, QPalette::Highlight).rgb();

        int onRing = 0, differs = 0;
        for (const QPoint& p : ringPixels(focused.size())) {
            onRing += focused.pixel(p) == ring;
            differs += focused.pixel(p) != plain.pixel(p);
        }
        const int ringSize = int(ringPixels(focused.size()).size());
        EXPECT_EQ(onRing, ringSize) << "the ring is drawn all round";
        EXPECT_GT(differs, ringSize / 2) << "the ring differs from the picture it lies on";

        // Inside the ring the picture is untouched: nothing greys it.
        const int inset = kRingInset + kRingWidth;
        const QRect inside = focused.rect().adjusted(inset, inset, -inset, -inset);
        EXPECT_EQ(focused.copy(inside), plain.copy(inside)) << "the picture looks different with the focus";

        // And the other button shows no ring.
        const QImage other = look(c.other);
        EXPECT_EQ(other, c.other == f.cmdQuery() ? queryPlain : setPlain);
    }
}

} // namespace
} // namespace Orvanta::Test
