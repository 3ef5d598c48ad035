// The file list: the criteria files (*.txt, *.set) directly in its path, at
// most one of them selected. Setting the path lists that folder with nothing
// selected. Enter on the focused file loads it as a double-click does;
// typing jumps to a file by its name.
#pragma once

#include "criteria/core/TypeAhead.h"

#include <QElapsedTimer>
#include <QListWidget>

namespace Orvanta {

class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString& folder);

    // The selected file's name; empty while nothing is selected.
    QString fileName() const;
    // Selects the entry of that name (none when it is not listed).
    void setFileName(const QString& name);

Q_SIGNALS:
    // A file was double-clicked (or Enter pressed on it); it is the selected one.
    void fileDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;

private:
    QString m_path;
    TypeAhead::Run m_typing;
    QElapsedTimer m_clock;
};

} // namespace Orvanta
