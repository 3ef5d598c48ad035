// The folder list: the folders from the root down to its path, one entry per
// level, then the path's subfolders. Opening an entry (double-click) makes it
// the path; changed() fires whenever the path changes.
#pragma once

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

Q_SIGNALS:
    void changed();

private:
    void fill();

    QString m_path;
};

} // namespace Orvanta
