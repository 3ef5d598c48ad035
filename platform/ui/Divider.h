// A handle between two side-by-side controls that the mouse drags sideways.
// It only reports how far it was dragged; the window decides what the drag
// does to its controls (and whether it may), so the handle fits a layout
// whose two sides have different tops and heights, which a splitter cannot
// hold.
#pragma once

#include <QWidget>

namespace Orvanta {

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);

Q_SIGNALS:
    // The button was pressed on the handle.
    void pressed();
    // While the button is held: pixels moved since the press.
    void dragged(int dx);
    // The button was let go after a drag.
    void released();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    int m_pressX = 0; // global x at the press
};

} // namespace Orvanta
