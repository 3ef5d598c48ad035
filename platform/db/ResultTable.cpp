#include "platform/db/ResultTable.h"

namespace Orvanta {

ResultTable::ResultTable(QStringList columnNames)
    : m_names(std::move(columnNames)), m_columns(m_names.size())
{
}

QStringView ResultTable::cell(qsizetype row, int column) const
{
    if (column < 0 || column >= columnCount() || row < 0 || row >= m_rows)
        return {};
    const Column& c = m_columns[column];
    const uint32_t begin = row == 0 ? 0 : c.ends[row - 1];
    return QStringView(c.text).mid(begin, c.ends[row] - begin);
}

bool ResultTable::isNull(qsizetype row, int column) const
{
    if (column < 0 || column >= columnCount() || row < 0 || row >= m_rows)
        return true;
    const Column& c = m_columns[column];
    return !c.nulls.empty() && c.nulls[row];
}

void ResultTable::appendCell(QStringView text, bool isNull)
{
    Column& c = m_columns[m_nextColumn];
    c.text.append(text);
    c.ends.push_back(uint32_t(c.text.size()));
    if (isNull || !c.nulls.empty()) {
        if (c.nulls.empty())
            c.nulls.assign(c.ends.size() - 1, false);
        c.nulls.push_back(isNull);
    }
    if (++m_nextColumn == columnCount()) {
        m_nextColumn = 0;
        ++m_rows;
    }
}

void ResultTable::reserve(qsizetype rows, qsizetype charsPerColumn)
{
    for (Column& c : m_columns) {
        c.ends.reserve(rows);
        if (charsPerColumn > 0)
            c.text.reserve(charsPerColumn);
    }
}

} // namespace Orvanta
