// The dialog that asks where to save a file. A test installs an answerer so
// that no dialog waits for a click, as with the message box (MessageBox.h).
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace Orvanta {

class SaveFileDialog {
public:
    using Answerer = std::function<QString(QString caption, QString suggestedPath)>;

    // Replaces the dialog with the answerer; an empty function restores it.
    static void setAnswerer(Answerer answerer);

    // The local path the user chose, or empty when they cancelled. The
    // dialog opens at `suggestedPath` and asks before replacing a file.
    static QString ask(QWidget* parent, const QString& caption, const QString& suggestedPath, const QString& filter);
};

} // namespace Orvanta
