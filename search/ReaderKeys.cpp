// The keys that help reading the shown page, all outside the window's own
// keys: F1 shows the help page, F3 and Shift+F3 step through the marks,
// Ctrl+F finds, Ctrl+Plus, Ctrl+Minus and Ctrl+0 zoom, Ctrl+C copies (the
// current row from the result list, the page's selection elsewhere), Ctrl+P
// prints the page, Alt+Left and Alt+Right go back and forward through links
// followed in the page while it has the focus. Esc closes the find bar
// before it does anything else.
#include "search/FrmVelmoraMain.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/FindBar.h"
#include "platform/ui/ResultGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace Orvanta {

FrmVelmoraMain::ReaderKey FrmVelmoraMain::readerKey(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    QWidget* focus = QApplication::focusWidget();
    const bool inFindBar = focus && m_lblDesc->findBar()->isAncestorOf(focus);
    // The page draws and takes keys in a child widget of the view.
    const bool inPage = focus && !inFindBar && (focus == m_lblDesc || m_lblDesc->isAncestorOf(focus));
    const bool inList = focus && (focus == m_grd1 || m_grd1->isAncestorOf(focus));

    if (key->key() == Qt::Key_Escape && m_lblDesc->closeFindBar())
        return ReaderKey::Taken;
    if (key->key() == Qt::Key_F1 && mods == Qt::NoModifier) {
        showHelp();
        return ReaderKey::Taken;
    }
    if (inPage && mods == Qt::AltModifier && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
        if (key->key() == Qt::Key_Left)
            m_lblDesc->goBack();
        else
            m_lblDesc->goForward();
        return ReaderKey::Taken;
    }
    if (key->key() == Qt::Key_F3 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        m_lblDesc->nextMark(mods == Qt::ShiftModifier);
        return ReaderKey::Taken;
    }
    if (ctrl) {
        switch (key->key()) {
        case Qt::Key_F:
            m_lblDesc->openFindBar();
            return ReaderKey::Taken;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_lblDesc->zoomIn();
            return ReaderKey::Taken;
        case Qt::Key_Minus:
            m_lblDesc->zoomOut();
            return ReaderKey::Taken;
        case Qt::Key_0:
            m_lblDesc->resetZoom();
            return ReaderKey::Taken;
        case Qt::Key_P:
            m_lblDesc->printPage();
            return ReaderKey::Taken;
        case Qt::Key_C: {
            // A text field copies its own selection; the query box is a combo
            // box that keeps the focus for its line edit.
            const auto* combo = qobject_cast<QComboBox*>(focus);
            if (qobject_cast<QLineEdit*>(focus) || (combo && combo->isEditable()))
                break;
            if (inList)
                copyCurrentRow();
            else
                m_lblDesc->copySelection();
            return ReaderKey::Taken;
        }
        default:
            break;
        }
    }
    if (key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier) && key->key() == Qt::Key_Plus) {
        m_lblDesc->zoomIn(); // Ctrl+Plus on keyboards where "+" needs Shift
        return ReaderKey::Taken;
    }
    // The find bar is no control of the design: its keys are its own.
    return inFindBar ? ReaderKey::FindBar : ReaderKey::None;
}

} // namespace Orvanta
