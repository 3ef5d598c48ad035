// Keystrokes sent to the control that has the keyboard focus, delivered as if
// the user had typed them, and the processing of pending window events.
#pragma once

#include <Qt>

namespace Orvanta::Keystrokes {

// Queues a key press and release for the focused control of the active
// window; they are delivered when events are next processed. Nothing is sent
// when no control has the focus.
void send(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void sendPageDown();
void sendPageUp();

// The Windows virtual-key number of a key (Enter 13, Esc 27, Page Up 33,
// Page Down 34, Left 37, Up 38, Right 39, Down 40, F1..F12 112..123, digits
// and letters their upper-case character); 0 for keys without one here.
int virtualKeyCode(int qtKey);

// The modifier state as the classic shift argument: Shift 1, Ctrl 2, Alt 4.
int shiftState(Qt::KeyboardModifiers modifiers);

// Delivers every pending event, the queued keystrokes included.
void processPendingEvents();

} // namespace Orvanta::Keystrokes
