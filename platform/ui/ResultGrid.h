// The result list: a grid of text cells over the rows of one result set.
//
// Row numbers count the header as row 0, so result row k is grid row k. The
// header row is drawn by the horizontal header; the data rows by the table
// view, through a model that only adapts the bound ResultTable (no object per
// cell, uniform row heights), so binding a result of 140,000 rows is immediate.
//
// Vertical positions (row tops, mouse y) are measured in twips from the top of
// the header row, the grid's top edge; a scrolled list gives row 1 a negative
// top.
#pragma once

#include "platform/sql/ResultTable.h"

#include <QString>
#include <QTableView>

#include <memory>


namespace Orvanta {

class ResultGridModel;

class ResultGrid : public QTableView {
    Q_OBJECT
public:
    // Which scroll bars the grid shows.
    enum class ScrollBars { None = 0, Horizontal = 1, Vertical = 2, Both = 3 };

    explicit ResultGrid(QWidget* parent = nullptr);
    ~ResultGrid() override;

    // Replaces all rows by the header row plus one row per result row; the
    // header texts become the column names. The current cell goes back to
    // row 1, column 0 without a change notification; column widths stay.
    void bind(std::shared_ptr<const ResultTable> rows);

    // Rows including the header row; columns as bound (2 by design).
    int rowCount() const;
    int columnCount() const;

    // Text as shown; row 0 gives the header text. Out of range: empty.
    QString text(int row, int column) const;
    void setHeaderText(int column, const QString& text);

    // Widths and horizontal placement in twips. Width 0 hides a column; its
    // cells stay readable through text().
    void setColumnWidthTwips(int column, int twips);
    int columnWidthTwips(int column) const;
    void setLeftTwips(int twips);
    int leftTwips() const;
    void setWidthTwips(int twips);
    int widthTwips() const;

    void setScrollBars(ScrollBars bars);
    ScrollBars scrollBars() const { return m_scrollBars; }

    // The current cell. Setting a different cell raises currentCellChanged();
    // setting the cell that is already current raises nothing. A row or
    // column outside the grid throws Orvanta::Error.
    int currentRow() const { return m_row; }
    int currentColumn() const { return m_column; }
    void setCurrentRow(int row);
    void setCurrentColumn(int column);

    // Whether the grid is shown on screen (its window included), i.e. whether
    // giving it the focus is meaningful.
    bool isVisibleForFocus() const;
    void takeFocus();

    // Twips. Every row has the same height; the header row too.
    int rowHeightTwips(int row) const;
    int rowTopTwips(int row) const;

    void setToolTipText(const QString& text);
    QString toolTipText() const;

Q_SIGNALS:
    // The current row or column changed, by the user or by code.
    void currentCellChanged();
    // Mouse over the grid: button and modifier state, x and y in twips from
    // the top-left corner of the header row.
    void gridMouseMove(int buttons, int modifiers, float x, float y);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyboardSearch(const QString&) override {}
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void changeEvent(QEvent* event) override;

private:
    // A tooltip of the list on screen names the row that was under the
    // mouse; once the rows move under a resting mouse it names another
    // row's title, and goes. The next mouse move shows the right one.
    void hideToolTipOfMovedRows();
    void applyColumnWidths();
    void updateRowHeights();
    void emitMouseMove(QMouseEvent* event, int yOffsetPx, int xOffsetPx);
    int headerHeightPx() const;

    ResultGridModel* m_model = nullptr;
    int m_row = 1;
    int m_column = 0;
    bool m_binding = false;
    std::vector<int> m_widthTwips;
    ScrollBars m_scrollBars = ScrollBars::Both;
    int m_leftTwips = 0;
    int m_widthTwipsValue = 0;
};

} // namespace Orvanta
