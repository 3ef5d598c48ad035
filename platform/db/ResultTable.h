// The rows of one result set as text: a plain value that the result list binds.
// Cells are kept column by column in one flat buffer each, so a result of
// 140,000 rows costs a few allocations, not one object per cell.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace Orvanta {

class ResultTable {
public:
    ResultTable() = default;
    explicit ResultTable(QStringList columnNames);

    int columnCount() const { return int(m_columns.size()); }
    qsizetype rowCount() const { return m_rows; }
    const QStringList& columnNames() const { return m_names; }

    // Rows count from 0 here; the result list adds its header row on top.
    QStringView cell(qsizetype row, int column) const;
    QString cellText(qsizetype row, int column) const { return cell(row, column).toString(); }
    bool isNull(qsizetype row, int column) const;

    // Building: one call per cell, in row order, columns left to right.
    void appendCell(QStringView text, bool isNull = false);
    // A cell given as UTF-16 code units, little-endian, at any alignment.
    void appendLittleEndianCell(const void* units, qsizetype count);
    void reserve(qsizetype rows, qsizetype charsPerColumn = 0);
    // The characters of all of one column's cells.
    qsizetype textSize(int column) const { return m_columns[column].text.size(); }
    // Room for `chars` more characters in one column's cells.
    void reserveMoreText(int column, qsizetype chars);

private:
    struct Column {
        QString text;                   // all cells of the column, one after another
        std::vector<uint32_t> ends;     // end offset of each cell in `text`
        std::vector<bool> nulls;        // empty unless some cell is NULL
    };
    void endCell(Column& c, bool isNull);

    QStringList m_names;
    std::vector<Column> m_columns;
    qsizetype m_rows = 0;
    int m_nextColumn = 0;
};

} // namespace Orvanta
