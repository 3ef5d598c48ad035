#include "criteria/DriveList.h"

#include "criteria/core/Drives.h"

#include <QSignalBlocker>

namespace Orvanta {

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this] { Q_EMIT changed(); });
}

QString DriveList::drive() const
{
    return currentData().toString();
}

int DriveList::indexFor(const QString& path) const
{
    QStringList drives;
    for (int i = 0; i < count(); ++i)
        drives.append(itemData(i).toString());
    return findData(Drives::driveOf(path, drives));
}

void DriveList::selectQuietly(const QString& path)
{
    const QSignalBlocker block(this);
    setCurrentIndex(indexFor(path));
}

void DriveList::refresh()
{
    const QString selected = drive();
    const QSignalBlocker block(this);
    clear();
    for (const QString& d : Drives::mounted())
        addItem(d, d);
    if (selected.isEmpty())
        return;
    // A current drive that went away stays shown until the user picks another.
    if (findData(selected) < 0)
        addItem(selected, selected);
    setCurrentIndex(findData(selected));
}

void DriveList::showPopup()
{
    // Media come and go; list what is mounted when the user looks.
    refresh();
    QComboBox::showPopup();
}

} // namespace Orvanta
