#include "criteria/FileList.h"

#include "criteria/core/CriteriaFile.h"

#include <QApplication>
#include <QKeyEvent>

namespace Orvanta {

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_clock.start();
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!item->isSelected())
            setFileName(item->text());
        Q_EMIT fileDoubleClicked();
    });
}

void FileList::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        if (QListWidgetItem* focused = currentItem()) {
            if (!focused->isSelected())
                setFileName(focused->text());
            Q_EMIT fileDoubleClicked();
        }
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FileList::keyboardSearch(const QString& search)
{
    const QString typed = m_typing.add(search, m_clock.elapsed(), QApplication::keyboardInputInterval());
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    const int row = TypeAhead::find(names, currentRow(), typed);
    if (row >= 0) {
        setCurrentRow(row);
        scrollToItem(item(row));
    }
}

void FileList::setPath(const QString& folder)
{
    m_path = folder;
    clear();
    addItems(CriteriaFile::listFiles(folder));
    setCurrentRow(-1);
    clearSelection();
}

QString FileList::fileName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::setFileName(const QString& name)
{
    const QList<QListWidgetItem*> found = findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) {
        clearSelection();
        return;
    }
    setCurrentItem(found.first());
    found.first()->setSelected(true);
}

} // namespace Orvanta
