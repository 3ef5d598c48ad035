#include "platform/sql/ResultTable.h"

#include <algorithm>

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
    if (c.text.size() - c.used < text.size())
        makeRoom(c, text.size());
    std::copy(text.begin(), text.end(), c.text.data() + c.used);
    c.used += text.size();
    endCell(c, isNull);
}

void ResultTable::makeRoom(Column& c, qsizetype chars)
{
    // Half as much again as there is, so that a long list is moved a few times only.
    c.text.resize(std::max(c.used + chars, c.text.size() + c.text.size() / 2));
}

void ResultTable::markNull(Column& c, bool isNull)
{
    if (c.nulls.empty())
        c.nulls.assign(c.ends.size() - 1, false);
    c.nulls.push_back(isNull);
}

void ResultTable::reserve(qsizetype rows, qsizetype charsPerColumn)
{
    for (Column& c : m_columns) {
        c.ends.reserve(rows);
        if (charsPerColumn > 0)
            reserveMoreText(int(&c - m_columns.data()), charsPerColumn - c.used);
    }
}

void ResultTable::reserveMoreText(int column, qsizetype chars)
{
    Column& c = m_columns[column];
    if (chars > 0 && c.text.size() - c.used < chars)
        c.text.resize(c.used + chars);
}

} // namespace Orvanta
