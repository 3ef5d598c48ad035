#include "platform/ui/ResultGrid.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/ui/Twips.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

namespace Orvanta {

// Adapts the bound rows to the view. Before the first binding the grid holds
// its design content: the header row and one empty row.
class ResultGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void bind(std::shared_ptr<const ResultTable> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        const int columns = m_rows ? m_rows->columnCount() : 2;
        m_headers = m_rows ? m_rows->columnNames() : QStringList();
        while (m_headers.size() < columns)
            m_headers.append(QString());
        m_headers.resize(columns);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid())
            return 0;
        return m_rows ? int(m_rows->rowCount()) : 1;
    }

    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_headers.size());
    }

    QString cellText(int dataRow, int column) const
    {
        return m_rows ? m_rows->cellText(dataRow, column) : QString();
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return cellText(index.row(), index.column());
        if (role == Qt::ToolTipRole && !m_toolTip.isEmpty())
            return m_toolTip;
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
            return {};
        if (role == Qt::DisplayRole)
            return m_headers[section];
        if (role == Qt::ToolTipRole && !m_toolTip.isEmpty())
            return m_toolTip;
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

    QString header(int column) const
    {
        return column >= 0 && column < m_headers.size() ? m_headers[column] : QString();
    }

    void setHeader(int column, const QString& text)
    {
        if (column < 0 || column >= m_headers.size())
            return;
        m_headers[column] = text;
        Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
    }

    QString m_toolTip;

private:
    std::shared_ptr<const ResultTable> m_rows;
    QStringList m_headers{QString(), QString()};
};

namespace {

// The classic grid's numbers for a row or column outside the grid.
constexpr int kInvalidRowValue = 30009;
constexpr int kInvalidColValue = 30010;

} // namespace

ResultGrid::ResultGrid(QWidget* parent) : QTableView(parent), m_model(new ResultGridModel(this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Uniform, fixed row heights: the view then never measures rows, whatever
    // their number.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(0);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The header's mouse events arrive at its viewport, not at the header.
    columns->viewport()->setMouseTracking(true);
    columns->viewport()->installEventFilter(this);

    setMouseTracking(true);
    m_widthTwips = {int(twips(columns->defaultSectionSize())), int(twips(columns->defaultSectionSize()))};
    applyColumnWidths();
    updateRowHeights();
    setCurrentIndex(m_model->index(0, 0));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { hideToolTipOfMovedRows(); });
}

void ResultGrid::hideToolTipOfMovedRows()
{
    if (QToolTip::isVisible() && !m_model->m_toolTip.isEmpty() && QToolTip::text() == m_model->m_toolTip)
        QToolTip::hideText();
}

ResultGrid::~ResultGrid() = default;

void ResultGrid::updateRowHeights()
{
    // One height for every row, the header row included, so that the rows
    // line up at whole multiples of it.
    QHeaderView* columns = horizontalHeader();
    columns->setFont(font());
    const int rowPx = std::max(fontMetrics().height() + 6, columns->sizeHint().height());
    verticalHeader()->setMinimumSectionSize(rowPx);
    verticalHeader()->setDefaultSectionSize(rowPx);
    columns->setFixedHeight(rowPx);
}

void ResultGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateRowHeights();
}

int ResultGrid::headerHeightPx() const
{
    return horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
}

void ResultGrid::bind(std::shared_ptr<const ResultTable> rows)
{
    m_binding = true;
    // Nothing of the old list's tooltip survives it.
    setToolTipText(QString());
    m_model->bind(std::move(rows));
    applyColumnWidths();
    m_row = 1;
    m_column = 0;
    if (m_model->rowCount() > 0 && m_model->columnCount() > 0)
        selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollToTop();
    m_binding = false;
    Progress::tick();
}

int ResultGrid::rowCount() const
{
    return m_model->rowCount() + 1;
}

int ResultGrid::columnCount() const
{
    return m_model->columnCount();
}

QString ResultGrid::text(int row, int column) const
{
    if (column < 0 || column >= columnCount() || row < 0 || row >= rowCount())
        return {};
    return row == 0 ? m_model->header(column) : m_model->cellText(row - 1, column);
}

void ResultGrid::setHeaderText(int column, const QString& text)
{
    if (column < 0 || column >= columnCount())
        throw Error(kInvalidColValue, QStringLiteral("Invalid Col value"));
    m_model->setHeader(column, text);
}

void ResultGrid::setColumnWidthTwips(int column, int twipsWidth)
{
    if (column < 0)
        throw Error(kInvalidColValue, QStringLiteral("Invalid Col value"));
    if (size_t(column) >= m_widthTwips.size())
        m_widthTwips.resize(column + 1, int(twips(horizontalHeader()->defaultSectionSize())));
    m_widthTwips[column] = std::max(0, twipsWidth);
    applyColumnWidths();
}

int ResultGrid::columnWidthTwips(int column) const
{
    if (column < 0 || size_t(column) >= m_widthTwips.size())
        return 0;
    return m_widthTwips[column];
}

void ResultGrid::applyColumnWidths()
{
    for (int c = 0; c < m_model->columnCount() && size_t(c) < m_widthTwips.size(); ++c)
        setColumnWidth(c, px(m_widthTwips[c]));
}

void ResultGrid::setLeftTwips(int twipsLeft)
{
    m_leftTwips = twipsLeft;
    move(px(twipsLeft), y());
}

int ResultGrid::leftTwips() const
{
    return m_leftTwips;
}

void ResultGrid::setWidthTwips(int twipsWidth)
{
    m_widthTwipsValue = twipsWidth;
    resize(px(twipsWidth), height());
}

int ResultGrid::widthTwips() const
{
    return m_widthTwipsValue ? m_widthTwipsValue : int(twips(width()));
}

void ResultGrid::setScrollBars(ScrollBars bars)
{
    m_scrollBars = bars;
    const bool horizontal = bars == ScrollBars::Horizontal || bars == ScrollBars::Both;
    const bool vertical = bars == ScrollBars::Vertical || bars == ScrollBars::Both;
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void ResultGrid::setCurrentRow(int row)
{
    if (row < 0 || row >= rowCount())
        throw Error(kInvalidRowValue, QStringLiteral("Invalid Row value"));
    if (row == m_row)
        return;
    if (row == 0) {
        // The header row has no model index: the view loses its current cell
        // and the grid keeps the row itself.
        m_binding = true;
        selectionModel()->clear();
        m_binding = false;
        m_row = 0;
        Q_EMIT currentCellChanged();
        return;
    }
    selectionModel()->setCurrentIndex(m_model->index(row - 1, m_column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ResultGrid::setCurrentColumn(int column)
{
    if (column < 0 || column >= columnCount())
        throw Error(kInvalidColValue, QStringLiteral("Invalid Col value"));
    if (column == m_column)
        return;
    if (m_row == 0) {
        m_column = column;
        Q_EMIT currentCellChanged();
        return;
    }
    selectionModel()->setCurrentIndex(m_model->index(m_row - 1, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_binding || !current.isValid())
        return;
    const int row = current.row() + 1;
    const int column = current.column();
    if (row == m_row && column == m_column)
        return;
    if (row != m_row)
        hideToolTipOfMovedRows();
    m_row = row;
    m_column = column;
    Q_EMIT currentCellChanged();
}

void ResultGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    // A current cell in a zero-width column has nothing to show: bring its
    // row into view and leave the columns where they are, so that the titles
    // are not pushed aside for a column nobody sees.
    if (index.isValid() && columnWidth(index.column()) == 0) {
        const int keepX = horizontalScrollBar()->value();
        QTableView::scrollTo(index.siblingAtColumn(0), hint);
        horizontalScrollBar()->setValue(keepX);
        return;
    }
    QTableView::scrollTo(index, hint);
}

bool ResultGrid::isVisibleForFocus() const
{
    return isVisible() && window()->isVisible();
}

void ResultGrid::takeFocus()
{
    setFocus(Qt::OtherFocusReason);
}

int ResultGrid::rowHeightTwips(int row) const
{
    if (row == 0)
        return int(twips(headerHeightPx()));
    if (row < 0 || row >= rowCount())
        throw Error(kInvalidRowValue, QStringLiteral("Invalid Row value"));
    return int(twips(rowHeight(row - 1)));
}

int ResultGrid::rowTopTwips(int row) const
{
    if (row == 0)
        return 0;
    if (row < 0 || row >= rowCount())
        throw Error(kInvalidRowValue, QStringLiteral("Invalid Row value"));
    // The view's own position of the row: negative above the visible part.
    return int(twips(headerHeightPx() + rowViewportPosition(row - 1)));
}

void ResultGrid::setToolTipText(const QString& text)
{
    m_model->m_toolTip = text;
    setToolTip(text);
    // A tooltip already on screen follows the mouse's row at once, or goes.
    if (QToolTip::isVisible() && underMouse()) {
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(QCursor::pos(), text, this);
    }
}

QString ResultGrid::toolTipText() const
{
    return m_model->m_toolTip;
}

void ResultGrid::emitMouseMove(QMouseEvent* event, int yOffsetPx, int xOffsetPx)
{
    const QPointF p = event->position();
    Q_EMIT gridMouseMove(int(event->buttons()), int(event->modifiers()),
                         float((p.x() + xOffsetPx) * kTwipsPerPixel),
                         float((p.y() + yOffsetPx) * kTwipsPerPixel));
}

void ResultGrid::mouseMoveEvent(QMouseEvent* event)
{
    // Viewport coordinates: the data rows start below the header row.
    emitMouseMove(event, headerHeightPx(), 0);
    QTableView::mouseMoveEvent(event);
}

bool ResultGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseMove)
        emitMouseMove(static_cast<QMouseEvent*>(event), 0, 0);
    return QTableView::eventFilter(watched, event);
}

} // namespace Orvanta
