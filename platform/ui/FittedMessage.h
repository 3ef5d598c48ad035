// Message boxes that fit the screen. A message the program composes can be
// as long as what the user typed (a 5,000-character query comes back in the
// "資料不存在" box), and a plain message box grows with its text until its
// buttons are off the screen. A text too long for the screen is shown whole,
// every word kept, in a bounded field that scrolls, above buttons that always
// show; a text that fits keeps the ordinary box.
#pragma once

#include <QMessageBox>
#include <QRect>
#include <QString>

class QWidget;

namespace Orvanta::FittedMessage {

// Whether `text` set in `box` would make it taller or wider than the room it
// has on `screen` (available geometry).
bool fits(const QMessageBox& box, const QString& text, const QRect& screen);

// Runs `box` as QMessageBox::exec() does, or, when its text does not fit the
// screen it opens on, a box of the same caption and buttons with the text in
// a bounded scrolling field. Returns the standard button chosen.
int exec(QMessageBox& box);

} // namespace Orvanta::FittedMessage
