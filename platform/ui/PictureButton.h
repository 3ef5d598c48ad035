// A graphical command button: no caption, a normal picture, and a pressed
// picture shown while the button is held down. The picture is centred on the
// button and cut off at its edges; a picture larger than the button shows its
// middle part.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

class QPainter;

namespace Orvanta {

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    void setDownPicture(const QPixmap& picture);
    const QPixmap& picture() const { return m_picture; }
    const QPixmap& downPicture() const { return m_downPicture; }

    // The picture currently on screen: the pressed one while held down (when
    // it has one), the normal one otherwise.
    const QPixmap& shownPicture() const;

    QSize sizeHint() const override;

    // Enter clicks the button while it has the focus, as Space does; off by
    // default, for buttons whose window gives Enter a meaning of its own.
    void setClickOnEnter(bool on) { m_clickOnEnter = on; }

    // The focused button shows a ring of this colour, kFocusWidth pixels wide
    // and kFocusInset pixels inside its edges; the picture inside the ring is
    // the same with and without the focus.
    static constexpr int kFocusInset = 2;
    static constexpr int kFocusWidth = 2;
    QColor focusMarkColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void paintFocusMark(QPainter& p, const QRect& r) const;

    bool m_clickOnEnter = false;
    QPixmap m_picture;
    QPixmap m_downPicture;
};

} // namespace Orvanta
