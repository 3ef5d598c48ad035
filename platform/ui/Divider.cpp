#include "platform/ui/Divider.h"

#include <QMouseEvent>

namespace Orvanta {

Divider::Divider(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::NoFocus);
    // Whatever lies under it shows through: the window's background picture.
    setAttribute(Qt::WA_NoSystemBackground);
}

void Divider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_pressX = int(event->globalPosition().x());
    Q_EMIT pressed();
    event->accept();
}

void Divider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    // Global positions: the handle itself moves under the mouse.
    Q_EMIT dragged(int(event->globalPosition().x()) - m_pressX);
    event->accept();
}

void Divider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    Q_EMIT released();
    event->accept();
}

} // namespace Orvanta
