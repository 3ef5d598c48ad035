// The folder list: the folders from the root down to its path, one entry per
// level, then the path's subfolders. Opening an entry (double-click, or Enter
// or Space on the focused entry) makes it the path; changed() fires whenever
// the path changes. Typing jumps to a folder by its name.
#pragma once

#include "criteria/core/TypeAhead.h"

#include <QElapsedTimer>
#include <QListWidget>

namespace Orvanta {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Throws Orvanta::Error (PathNotFound) for a folder that cannot be shown;
    // the list then keeps its path.
    void setPath(const QString& folder);

    // The full path of the entry at `row`.
    QString entryPath(int row) const;
    // The folder names as typing finds them, without the indentation.
    QStringList names() const;

Q_SIGNALS:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;

private:
    void fill();
    void open(int row);

    QString m_path;
    TypeAhead::Run m_typing;
    QElapsedTimer m_clock;
};

} // namespace Orvanta
