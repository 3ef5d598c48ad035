// The rows of one result set as text: a plain value that the result list binds.
// Cells are kept column by column in one flat buffer each, so a result of
// 140,000 rows costs a few allocations, not one object per cell.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <bit>
#include <cstdint>
#include <cstring>
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
    // Inline: a result list from the content index is built of these calls.
    void appendLittleEndianCell(const void* units, qsizetype count);
    void reserve(qsizetype rows, qsizetype charsPerColumn = 0);
    // The characters of all of one column's cells.
    qsizetype textSize(int column) const { return m_columns[column].used; }
    // Room for `chars` more characters in one column's cells.
    void reserveMoreText(int column, qsizetype chars);

private:
    struct Column {
        // All cells of the column, one after another, then room for more:
        // the string is sized to its room, so that appending a cell is a
        // copy, not a resize of the string each time.
        QString text;
        qsizetype used = 0;             // characters of `text` the cells take
        std::vector<uint32_t> ends;     // end offset of each cell in `text`
        std::vector<bool> nulls;        // empty unless some cell is NULL
    };
    static void makeRoom(Column& c, qsizetype chars);
    void endCell(Column& c, bool isNull);
    static void markNull(Column& c, bool isNull);

    QStringList m_names;
    std::vector<Column> m_columns;
    qsizetype m_rows = 0;
    int m_nextColumn = 0;
};

inline void ResultTable::appendLittleEndianCell(const void* units, qsizetype count)
{
    Column& c = m_columns[size_t(m_nextColumn)];
    if (c.text.size() - c.used < count)
        makeRoom(c, count);
    char16_t* out = reinterpret_cast<char16_t*>(c.text.data()) + c.used;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, units, size_t(count) * 2);
    } else {
        const auto* p = static_cast<const unsigned char*>(units);
        for (qsizetype i = 0; i < count; ++i)
            out[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    }
    c.used += count;
    endCell(c, false);
}

inline void ResultTable::endCell(Column& c, bool isNull)
{
    c.ends.push_back(uint32_t(c.used));
    if (isNull || !c.nulls.empty()) [[unlikely]]
        markNull(c, isNull);
    if (++m_nextColumn == columnCount()) {
        m_nextColumn = 0;
        ++m_rows;
    }
}

} // namespace Orvanta
