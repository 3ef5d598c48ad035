// The drive list: a drop-down of the machine's drives (mount points, see
// core/Drives.h) whose selected entry is the current drive. changed() fires
// whenever the user (or code) selects another entry.
#pragma once

#include <QComboBox>

namespace Orvanta {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // The selected drive's designation: its mount point.
    QString drive() const;
    // Selects the drive that holds `path` without firing changed() (the
    // start, and putting back the current drive after a failed change).
    void selectQuietly(const QString& path);

    // Reads the drives again, keeping the selection where possible.
    void refresh();

Q_SIGNALS:
    void changed();

protected:
    void showPopup() override;

private:
    int indexFor(const QString& path) const;
};

} // namespace Orvanta
