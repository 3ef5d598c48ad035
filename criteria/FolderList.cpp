#include "criteria/FolderList.h"

#include "app/forms/Handler.h"
#include "criteria/core/Drives.h"
#include "criteria/core/FolderTree.h"
#include "platform/Error.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

namespace Orvanta {
namespace {
constexpr int PathRole = Qt::UserRole + 1;
constexpr int NameRole = Qt::UserRole + 2;
} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_clock.start();
    // Opening a folder that went away fails in the list's own handler.
    connectHandler(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { open(row(item)); });
}

void FolderList::open(int row)
{
    if (const QListWidgetItem* it = item(row))
        setPath(it->data(PathRole).toString());
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    const bool opens = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
                       || event->key() == Qt::Key_Space;
    if (opens && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        // As a double-click on the focused entry, with its failures.
        runHandler([this] { open(currentRow()); });
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::keyboardSearch(const QString& search)
{
    const QString typed = m_typing.add(search, m_clock.elapsed(), QApplication::keyboardInputInterval());
    const int row = TypeAhead::find(names(), currentRow(), typed);
    if (row >= 0) {
        setCurrentRow(row);
        scrollToItem(item(row));
    }
}

QStringList FolderList::names() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << item(i)->data(NameRole).toString();
    return out;
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
        it->setData(NameRole, name);
        it->setToolTip(levels[i]);
    }
    const QString subIndent = indentStep.repeated(levels.size());
    for (const QString& sub : FolderTree::subfolders(m_path)) {
        const QString name = FolderTree::displayName(sub);
        auto* it = new QListWidgetItem(closed, subIndent + name, this);
        it->setData(PathRole, sub);
        it->setData(NameRole, name);
        it->setToolTip(sub);
    }
    // The path's own entry is the highlighted one.
    setCurrentRow(levels.size() - 1);
    scrollToItem(currentItem());
}

} // namespace Orvanta
