#include "criteria/FolderList.h"

#include "app/forms/Handler.h"
#include "criteria/core/Drives.h"
#include "criteria/core/FolderTree.h"
#include "platform/Error.h"

#include <QFileInfo>
#include <QStyle>

namespace Orvanta {
namespace {
constexpr int PathRole = Qt::UserRole + 1;
} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Opening a folder that went away fails in the list's own handler.
    connectHandler(this, &QListWidget::itemDoubleClicked, this,
                   [this](QListWidgetItem* item) { setPath(item->data(PathRole).toString()); });
}

QString FolderList::entryPath(int row) const
{
    const QListWidgetItem* it = item(row);
    return it ? it->data(PathRole).toString() : QString();
}

void FolderList::setPath(const QString& folder)
{
    const QString path = FolderTree::normalize(folder);
    const QFileInfo info(path);
    if (!info.isDir() || !info.isExecutable())
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found: %1").arg(folder));
    const bool moved = path != m_path;
    m_path = path;
    fill();
    if (moved)
        Q_EMIT changed();
}

void FolderList::fill()
{
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // From the root of the drive the path lies on, as the drive list shows it.
    const QString drive = Drives::driveOf(m_path, Drives::mounted());
    const QStringList levels = FolderTree::levels(m_path, drive);
    const QString indentStep(2, QLatin1Char(' '));
    for (int i = 0; i < levels.size(); ++i) {
        // The drive's root by its full name, the levels below it by theirs.
        const QString name = i == 0 ? levels[i] : FolderTree::displayName(levels[i]);
        auto* it = new QListWidgetItem(open, indentStep.repeated(i) + name, this);
        it->setData(PathRole, levels[i]);
        it->setToolTip(levels[i]);
    }
    const QString subIndent = indentStep.repeated(levels.size());
    for (const QString& sub : FolderTree::subfolders(m_path)) {
        auto* it = new QListWidgetItem(closed, subIndent + FolderTree::displayName(sub), this);
        it->setData(PathRole, sub);
        it->setToolTip(sub);
    }
    // The path's own entry is the highlighted one.
    setCurrentRow(levels.size() - 1);
    scrollToItem(currentItem());
}

} // namespace Orvanta
