// The window's own key handling, ahead of the focused control, and F7.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/ui/Keystrokes.h"
#include "platform/ui/Printer.h"
#include "platform/ui/ResultGrid.h"
#include "search/QueryBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>

namespace Orvanta {

bool FrmVelmoraMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this)
        applyOuterSizeOnceFramed(event->type());
    if (watched == m_grd1 && m_foundCount && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeFoundCount();
    // The history drop-down is a window of its own; its keys would never
    // reach the search window otherwise.
    if (m_keyPreview && event->type() == QEvent::KeyPress && watched == m_txtQuery->view()
        && historyListKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (m_keyPreview && event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        // A key that the focused control does not take travels on to its
        // parents; the window looks at it once, at its first receiver. The
        // focus cannot tell the parents apart from a first receiver: a
        // message shown by the handler (F7 without a printer) moves it away,
        // and when the key travels on, nothing may have it yet.
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        const bool travellingOn = m_previewedKey.receiver && widget != m_previewedKey.receiver
            && widget->isAncestorOf(m_previewedKey.receiver) && key == m_previewedKey.event
            && key->timestamp() == m_previewedKey.timestamp && key->key() == m_previewedKey.key
            && key->modifiers() == m_previewedKey.modifiers;
        // The window is the last a key travels to.
        if (travellingOn && widget == this)
            m_previewedKey = {};
        QWidget* focus = QApplication::focusWidget();
        const bool firstReceiver = focus ? widget == focus : widget == this;
        if (!travellingOn && firstReceiver && widget->window() == this) {
            m_previewedKey = {key, key->timestamp(), key->key(), key->modifiers(), widget};
            // A reading key whose handler failed is taken all the same.
            ReaderKey reading = ReaderKey::Taken;
            runHandler([&] { reading = readerKey(key); });
            if (reading == ReaderKey::Taken)
                return true;
            if (reading == ReaderKey::FindBar)
                return Form::eventFilter(watched, event);
            runHandler([&] {
                int16_t keyCode = int16_t(Keystrokes::virtualKeyCode(key->key()));
                int16_t shift = int16_t(Keystrokes::shiftState(key->modifiers()));
                Form_KeyDown(keyCode, shift);
            });
        }
    }
    // The key always goes on to the focused control.
    return Form::eventFilter(watched, event);
}

bool FrmVelmoraMain::historyListKey(QKeyEvent* key)
{
    int16_t keyCode = int16_t(Keystrokes::virtualKeyCode(key->key()));
    int16_t shift = int16_t(Keystrokes::shiftState(key->modifiers()));
    switch (keyCode) {
    case 13: {
        // Enter takes the chosen entry into the box and closes the list;
        // then the key goes where Enter typed in the box goes: the window's
        // handler, then the box's own, which searches.
        const int row = m_txtQuery->view()->currentIndex().row();
        if (row >= 0)
            m_txtQuery->setCurrentIndex(row);
        m_txtQuery->hidePopup();
        runHandler([&] { Form_KeyDown(keyCode, shift); });
        runHandler([&] {
            int16_t keyAscii = 13;
            TxtQuery_KeyPress(keyAscii);
        });
        return true;
    }
    case 27:  // Esc: the box keeps the focus; the list closes itself
    case 118: // F7 prints while the list stays open
        runHandler([&] { Form_KeyDown(keyCode, shift); });
        return false;
    default:
        // The arrows and Page keys choose in the list; moving the focus to
        // the result list would close it under the user's hands.
        return false;
    }
}

void FrmVelmoraMain::applyOuterSizeOnceFramed(QEvent::Type type)
{
    // The load step sizes the window before it is on screen, with the
    // design's frame; the window manager's frame is known only once it has
    // framed the window. The outer size is then applied again, once.
    if (m_framed || !isVisible())
        return;
    if (type != QEvent::Move && type != QEvent::Resize && type != QEvent::Show && type != QEvent::WindowActivate)
        return;
    if (frameGeometry() == geometry())
        return;
    m_framed = true;
    setOuterGeometryTwips(0, 0, 9100, 12120);
}

void FrmVelmoraMain::Form_KeyDown(int16_t& keyCode, int16_t&)
{
    switch (keyCode) {
    case 13: // Enter
    case 38: // Up
    case 40: // Down
        m_grd1->takeFocus();
        break;
    case 33: // Page Up
    case 34: // Page Down
    case 37: // Left
    case 39: // Right
        break;
    case 27: // Esc
        m_txtQuery->setFocus(Qt::OtherFocusReason);
        break;
    case 118: // F7
        printCurrentRow();
        break;
    case 119: // F8
        toggleVariants();
        break;
    default:
        break;
    }
}

void FrmVelmoraMain::printCurrentRow()
{
    // The row's title: of the current row's texts the one a reader can use.
    Printer& printer = Printer::current();
    printer.setFontSize(12);
    printer.printLine(QString());
    printer.printLine(QString());
    printer.printLine(m_grd1->text(m_grd1->currentRow(), 0));
    printer.endDocument();
}

} // namespace Orvanta
