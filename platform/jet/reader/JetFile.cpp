#include "platform/jet/reader/JetFile.h"

#include "platform/jet/JetDate.h"

#include <QSet>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace Orvanta::Jet {

using namespace JetProtocol;

ValueType valueTypeOf(int jetType)
{
    switch (jetType) {
    case MDB_BOOL:
        return ValueType::Boolean;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return ValueType::Integer;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
        return ValueType::Real;
    case MDB_DATETIME:
        return ValueType::Date;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID:
        return ValueType::Text;
    default:
        return ValueType::Blob;
    }
}

void JetFile::sendTable(MdbCatalogEntry* entry)
{
    m_tableName = entry->object_name;
    std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
    if (!table)
        damaged("the definition of table '" + m_tableName + "' cannot be read");
    m_table = table.get();
    if (!mdb_read_columns(table.get()) || !table->columns)
        damaged("the columns of table '" + m_tableName + "' cannot be read");
    const unsigned columnCount = table->num_cols;
    if (columnCount > MDB_MAX_COLS || columnCount != table->columns->len)
        damaged("table '" + m_tableName + "' has an impossible column count");

    std::vector<const MdbColumn*> columns(columnCount);
    QSet<QString> columnNames;
    {
        std::string& out = m_out.begin(FrameKind::Table);
        putBytes(out, m_tableName);
        putU16(out, std::uint16_t(columnCount));
        for (unsigned i = 0; i < columnCount; ++i) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
            columns[i] = col;
            // Jet allows neither an empty nor a repeated column name.
            const QString folded = QString::fromUtf8(col->name).toCaseFolded();
            if (folded.isEmpty() || columnNames.contains(folded))
                damaged("table '" + m_tableName + "' has an empty or repeated column name");
            columnNames.insert(folded);
            putBytes(out, col->name);
            putU8(out, std::uint8_t(valueTypeOf(col->col_type)));
            putU8(out, std::uint8_t(col->col_type));
        }
        m_out.finish();
    }

    // The pages come from the table's own page map (or, where it cannot be
    // read, from the owner each page names), each checked to be a data page
    // of this table before a row of it is read: a damaged page costs the rows
    // on it and nothing else. Rows are read in storage order, page by page,
    // as libmdb's own scan reads them.
    Losses losses;
    TablePages::Found found = m_tablePages.find(std::uint32_t(entry->table_pg), table->num_rows);
    losses.pagesSkipped = found.pagesSkipped;
    const std::vector<std::uint32_t> pages = std::move(found.pages);
    // libmdb fills one field per column, at most MDB_MAX_COLS of them.
    std::vector<MdbField> fields(MDB_MAX_COLS + 8);
    const std::uint32_t expectedRows = table->num_rows;
    m_misplaced.assign(m_pageCount, false);
    markMisplacedPages(pages, entry->table_pg, columns, fields);
    std::uint32_t rows = 0;
    forEachRow(pages, entry->table_pg, [&](int start, int end) {
        if (rows + losses.rowsLeftOut >= expectedRows)
            damaged("table '" + m_tableName + "' holds more rows than it counts");
        if (end < 0) {
            sendLostRow(columns, nullptr);
            ++losses.rowsLeftOut;
            return;
        }
        const std::uint32_t leftOutBefore = losses.rowsLeftOut;
        sendRow(columns, fields, start, std::size_t(end - start), losses);
        if (losses.rowsLeftOut == leftOutBefore)
            ++rows;
    }, &losses.pagesSkipped);

    // Rows on pages that could not be read are gone without a trace but for
    // the count of the table definition.
    if (rows + losses.rowsLeftOut < expectedRows)
        losses.rowsLeftOut = expectedRows - rows;
    if (rows == 0 && expectedRows > 0)
        damaged("none of the " + std::to_string(expectedRows) + " rows of table '" + m_tableName
                + "' can be read");

    if (losses.rowsLeftOut || losses.rowsInPart || losses.pagesSkipped) {
        std::string& out = m_out.begin(FrameKind::Losses);
        putU32(out, expectedRows);
        putU32(out, losses.rowsLeftOut);
        putU32(out, losses.rowsInPart);
        putU32(out, losses.pagesSkipped);
        m_out.finish();
    }
    std::string& out = m_out.begin(FrameKind::TableEnd);
    putU32(out, rows);
    m_out.finish();
}

// Calls rowAt(start, end) for every row that is not deleted on the data pages
// of the table among `pages`, with the row's bounds in m_mdb->pg_buf, or end
// -1 when its place on the page makes no sense. Pages that are not data pages
// of the table are counted in `skipped` when given.
template <typename RowAt>
void JetFile::forEachRow(const std::vector<std::uint32_t>& pages, unsigned long tablePage, RowAt&& rowAt,
                         std::uint32_t* skipped)
{
    const int rco = m_mdb->fmt->row_count_offset;
    for (const std::uint32_t page : pages) {
        if (!readDataPage(page, tablePage)) {
            if (skipped)
                ++*skipped;
            continue;
        }
        const unsigned char* buf = m_mdb->pg_buf;
        const int count = int(le16(buf + rco));
        if (rco + 2 + count * 2 > m_pageSize) {
            if (skipped)
                ++*skipped;
            continue;
        }
        for (int r = 0; r < count; ++r) {
            const std::uint32_t word = le16(buf + rco + 2 + r * 2);
            // Deleted rows are no rows; libmdb passes over them too.
            if (word & 0x4000)
                continue;
            const int start = int(word & kOffsetMask);
            const int end = r == 0 ? m_pageSize : int(le16(buf + rco + r * 2) & kOffsetMask);
            if (start >= end || end > m_pageSize || start < rco + 2 + count * 2)
                rowAt(start, -1);
            else
                rowAt(start, end);
        }
    }
}

// Follows every long value of the table once before any is sent, so that a
// page that breaks one value is known when the others on it are read: a page
// swapped with another holds rows of the right shape for some of the values
// that point to it, and only the values it breaks give it away.
void JetFile::markMisplacedPages(const std::vector<std::uint32_t>& pages, unsigned long tablePage,
                                 const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields)
{
    bool anyLong = false;
    for (const MdbColumn* col : columns)
        anyLong = anyLong || isLongValue(col);
    if (!anyLong)
        return;
    forEachRow(pages, tablePage, [&](int start, int end) {
        if (end < 0 || mdb_crack_row(m_table, start, std::size_t(end - start), fields.data()) < 0)
            return;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const MdbField& field = fields[i];
            if (!isLongValue(columns[i]) || field.is_null || field.start < 0 || field.siz < 0
                || field.start + field.siz > m_pageSize)
                continue;
            readLongValue(m_mdb->pg_buf + field.start, field.siz, nullptr);
        }
    }, nullptr);
}

// Reads a data page of the table into libmdb's page buffer, where it cracks
// rows.
bool JetFile::readDataPage(std::uint32_t page, unsigned long tablePage)
{
    const unsigned char* buf = m_pages.page(page);
    if (!buf || buf[0] != kDataPage || le32(buf + 4) != tablePage)
        return false;
    std::memcpy(m_mdb->pg_buf, buf, std::size_t(m_pageSize));
    m_mdb->cur_pg = page;
    return true;
}

void JetFile::sendRow(const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields, int start,
                      std::size_t size, Losses& losses)
{
    if (mdb_crack_row(m_table, start, size, fields.data()) < 0) {
        sendLostRow(columns, nullptr);
        ++losses.rowsLeftOut;
        return;
    }
    m_row.clear();
    m_inPart.clear();
    try {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (isLongValue(columns[i]) && !fields[i].is_null) {
                if (!putLongValue(m_row, columns[i], fields[i]))
                    m_inPart.push_back(std::uint16_t(i));
            } else {
                putValue(m_row, columns[i], fields[i]);
            }
        }
    } catch (const UnreadableValue&) {
        sendLostRow(columns, &fields);
        ++losses.rowsLeftOut;
        return;
    }
    std::string& out = m_out.begin(m_inPart.empty() ? FrameKind::Row : FrameKind::PartialRow);
    if (!m_inPart.empty()) {
        putU16(out, std::uint16_t(m_inPart.size()));
        for (const std::uint16_t column : m_inPart)
            putU16(out, column);
        ++losses.rowsInPart;
    }
    out.append(m_row);
    m_out.finish();
}

// What can be read of a row that is left out, so that it can be named: the
// values that read, none of its long values.
void JetFile::sendLostRow(const std::vector<const MdbColumn*>& columns, const std::vector<MdbField>* fields)
{
    std::string& out = m_out.begin(FrameKind::LostRow);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::string value;
        try {
            if (fields && !isLongValue(columns[i]))
                putValue(value, columns[i], (*fields)[i]);
        } catch (const UnreadableValue&) {
            value.clear();
        }
        if (value.empty())
            putU8(out, std::uint8_t(ValueTag::Null));
        else
            out.append(value);
    }
    m_out.finish();
}

void JetFile::putValue(std::string& out, const MdbColumn* col, const MdbField& field)
{
    if (col->col_type == MDB_BOOL) {
        // A yes/no column has no storage of its own: the null flag is its value.
        putU8(out, std::uint8_t(ValueTag::Integer));
        putU64(out, field.is_null ? 0 : 1);
        return;
    }
    if (field.is_null) {
        putU8(out, std::uint8_t(ValueTag::Null));
        return;
    }
    if (field.start < 0 || field.siz < 0 || field.start + field.siz > m_pageSize)
        throw UnreadableValue{"a value lies outside its page"};
    const unsigned char* v = m_mdb->pg_buf + field.start;
    const int n = field.siz;
    auto need = [&](int size) {
        if (n < size)
            throw UnreadableValue{"a value is too short"};
    };
    auto putInteger = [&](std::int64_t i) {
        putU8(out, std::uint8_t(ValueTag::Integer));
        putU64(out, std::uint64_t(i));
    };
    auto putReal = [&](double d) {
        putU8(out, std::uint8_t(ValueTag::Real));
        putF64(out, d);
    };

    switch (col->col_type) {
    case MDB_BYTE:
        need(1);
        putInteger(v[0]);
        return;
    case MDB_INT:
        need(2);
        putInteger(std::int16_t(le16(v)));
        return;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        need(4);
        putInteger(std::int32_t(le32(v)));
        return;
    case MDB_MONEY: {
        need(8);
        const std::int64_t units = std::int64_t(std::uint64_t(le32(v)) | (std::uint64_t(le32(v + 4)) << 32));
        putReal(double(units) / 10000.0);
        return;
    }
    case MDB_FLOAT: {
        need(4);
        const std::uint32_t bits = le32(v);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        // A single holds seven digits; widened as is it would show noise
        // (1.1 as 1.10000002384).
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.7g", double(f));
        putReal(std::strtod(buf, nullptr));
        return;
    }
    case MDB_DOUBLE: {
        need(8);
        const std::uint64_t bits = std::uint64_t(le32(v)) | (std::uint64_t(le32(v + 4)) << 32);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        putReal(d);
        return;
    }
    case MDB_NUMERIC: {
        need(17);
        std::unique_ptr<char, GFreer> text(
            mdb_numeric_to_string(m_mdb, field.start, col->col_scale, col->col_prec));
        putReal(text ? std::strtod(text.get(), nullptr) : 0.0);
        return;
    }
    case MDB_DATETIME: {
        need(8);
        const std::uint64_t bits = std::uint64_t(le32(v)) | (std::uint64_t(le32(v + 4)) << 32);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        const auto text = JetDate::toText(d);
        if (!text) {
            putU8(out, std::uint8_t(ValueTag::Null));
        } else {
            putU8(out, std::uint8_t(ValueTag::Text));
            putBytes(out, *text);
        }
        return;
    }
    case MDB_REPID: {
        need(16);
        std::unique_ptr<char, GFreer> text(mdb_uuid_to_string(m_mdb->pg_buf, field.start));
        putU8(out, std::uint8_t(ValueTag::Text));
        putBytes(out, text ? std::string_view(text.get()) : std::string_view());
        return;
    }
    case MDB_TEXT:
        putText(out, v, std::size_t(n));
        return;
    default:
        putU8(out, std::uint8_t(ValueTag::Blob));
        putBytes(out, std::string_view(reinterpret_cast<const char*>(v), std::size_t(n)));
        return;
    }
}

void JetFile::putText(std::string& out, const unsigned char* p, std::size_t n, bool whole)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(p), qsizetype(n));
    if (m_jet3)
        m_text = JetText::decodeCodePage(bytes, m_codePage);
    else
        JetText::decodeJet4(bytes, m_text);
    QStringView text(m_text);
    // The last character of a cut text may be half of one, or half of a pair.
    if (!whole && !text.isEmpty()) {
        text.chop(1);
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    putU8(out, std::uint8_t(ValueTag::Text));
    // Written in place after its length, which is filled in once known.
    const std::size_t at = out.size();
    putU32(out, 0);
    JetText::appendUtf8(out, text);
    setU32(out, at, std::uint32_t(out.size() - at - 4));
}

} // namespace Orvanta::Jet
