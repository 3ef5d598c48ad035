// The window's own key handling, ahead of the focused control, and F7.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/ui/Keystrokes.h"
#include "platform/ui/Printer.h"
#include "platform/ui/ResultGrid.h"
#include "search/QueryBox.h"

#include <QApplication>
#include <QKeyEvent>

namespace Orvanta {

bool FrmVelmoraMain::eventFilter(QObject* watched, QEvent* event)
{
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
