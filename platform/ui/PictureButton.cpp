#include "platform/ui/PictureButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRegion>

namespace Orvanta {

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    update();
}

void PictureButton::setDownPicture(const QPixmap& picture)
{
    m_downPicture = picture;
    update();
}

const QPixmap& PictureButton::shownPicture() const
{
    if (isDown() && !m_downPicture.isNull())
        return m_downPicture;
    return m_picture;
}

void PictureButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (m_clickOnEnter && enter && !event->isAutoRepeat()) {
        // The click runs before the key returns, so a handler that unloads
        // the window must not touch this button afterwards.
        click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

QSize PictureButton::sizeHint() const
{
    return m_picture.isNull() ? QSize(75, 25) : m_picture.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    const bool down = isDown();

    p.fillRect(r, palette().button());

    // Centred, and shifted one pixel down-right while pressed, as a pushed
    // button's face moves.
    const QPixmap& pic = shownPicture();
    if (!pic.isNull()) {
        const QSize size = pic.deviceIndependentSize().toSize();
        QPoint at((r.width() - size.width()) / 2, (r.height() - size.height()) / 2);
        if (down)
            at += QPoint(1, 1);
        p.save();
        p.setClipRect(r.adjusted(2, 2, -2, -2));
        p.drawPixmap(at, pic);
        p.restore();
    }

    // The two-pixel bevel of a classic push button: raised, or sunken while down.
    const QColor light = palette().color(QPalette::Light);
    const QColor midlight = palette().color(QPalette::Midlight);
    const QColor mid = palette().color(QPalette::Mid);
    const QColor dark = palette().color(QPalette::Shadow);
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    auto frame = [&](int inset, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(x0 + inset, y0 + inset, x1 - inset - 1, y0 + inset);
        p.drawLine(x0 + inset, y0 + inset, x0 + inset, y1 - inset - 1);
        p.setPen(bottomRight);
        p.drawLine(x0 + inset, y1 - inset, x1 - inset, y1 - inset);
        p.drawLine(x1 - inset, y0 + inset, x1 - inset, y1 - inset);
    };
    if (down) {
        frame(0, dark, light);
        frame(1, mid, midlight);
    } else {
        frame(0, light, dark);
        frame(1, midlight, mid);
    }

    if (hasFocus())
        paintFocusMark(p, r);
}

void PictureButton::paintFocusMark(QPainter& p, const QRect& r) const
{
    // A solid ring just inside the bevel, from the moment the button has the
    // focus, whichever way it came. The style's own focus frame shows only
    // after a key has moved the focus and washes the picture over, which
    // makes the button look disabled; the ring leaves the picture alone.
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(focusMarkColour());
    const QRect outer = r.adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
    const QRect inner = outer.adjusted(kFocusWidth, kFocusWidth, -kFocusWidth, -kFocusWidth);
    p.setClipRegion(QRegion(outer).subtracted(QRegion(inner)));
    p.drawRect(outer);
    p.restore();
}

QColor PictureButton::focusMarkColour() const
{
    return palette().color(QPalette::Active, QPalette::Highlight);
}

} // namespace Orvanta
