#include "platform/db/ResultTable.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
    endCell(c, isNull);
}

void ResultTable::appendLittleEndianCell(const void* units, qsizetype count)
{
    Column& c = m_columns[m_nextColumn];
    const qsizetype at = c.text.size();
    if (c.text.capacity() < at + count)
        c.text.reserve(std::max(at + count, c.text.capacity() + c.text.capacity() / 2));
    c.text.resize(at + count);
    char16_t* out = reinterpret_cast<char16_t*>(c.text.data()) + at;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, units, size_t(count) * 2);
    } else {
        const auto* p = static_cast<const unsigned char*>(units);
        for (qsizetype i = 0; i < count; ++i)
            out[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    }
    endCell(c, false);
}

void ResultTable::endCell(Column& c, bool isNull)
{
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

namespace Orvanta {

void ResultTable::reserveMoreText(int column, qsizetype chars)
{
    QString& text = m_columns[column].text;
    if (text.capacity() < text.size() + chars)
        text.reserve(text.size() + chars);
}

} // namespace Orvanta
