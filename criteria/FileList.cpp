#include "criteria/FileList.h"

#include "criteria/core/CriteriaFile.h"

namespace Orvanta {

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!item->isSelected())
            setFileName(item->text());
        Q_EMIT fileDoubleClicked();
    });
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
