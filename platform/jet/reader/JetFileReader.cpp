#include "platform/jet/reader/JetFileReader.h"

#include "platform/Error.h"
#include "platform/jet/JetDate.h"
#include "platform/jet/JetProtocol.h"
#include "platform/jet/JetText.h"
#include "platform/jet/reader/FrameOutput.h"
#include "platform/jet/reader/FilePages.h"
#include "platform/jet/reader/TablePages.h"

// The libmdb header pulls glib.h in inside extern "C", which C++ glib headers
// do not survive; included first, glib's own guards keep it out.
#include <glib.h>
#include <mdbtools.h>

#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Orvanta::Jet {
namespace {

using namespace JetProtocol;

constexpr int kOffsetMask = 0x1FFF;    // row offsets carry flags above these bits
constexpr int kLongValueRefSize = 12;  // length+flags, page/row, unused
constexpr std::uint8_t kDataPage = 0x01;

[[noreturn]] void damaged(const std::string& what)
{
    throw ReadFailure(ErrorCode::DatabaseDamaged, what);
}

inline std::uint32_t le16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}

inline std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

struct TableCloser {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

struct GFreer {
    void operator()(void* p) const { g_free(p); }
};

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

// A value other than a long value that cannot be read: its row is left out.
struct UnreadableValue {
    const char* what;
};

class JetFile {
public:
    JetFile(MdbHandle* mdb, FilePages& pages, FrameOutput& out)
        : m_mdb(mdb), m_pages(pages), m_pageCount(pages.count()),
          m_tablePages(pages, {int(mdb->fmt->pg_size), int(mdb->fmt->row_count_offset),
                               int(mdb->fmt->tab_usage_map_offset)}),
          m_out(out), m_pageSize(int(mdb->fmt->pg_size)), m_jet3(mdb->f->jet_version == MDB_VER_JET3)
    {
        if (m_jet3)
            m_codePage = JetText::jet3CodePage(mdb->f->code_page, mdb->f->lang_id);
    }

    int codePage() const { return m_codePage; }

    void sendTable(MdbCatalogEntry* entry);

private:
    // What was lost of the table being sent.
    struct Losses {
        std::uint32_t rowsLeftOut = 0;
        std::uint32_t rowsInPart = 0;
        std::uint32_t pagesSkipped = 0;
    };

    bool readDataPage(std::uint32_t page, unsigned long tablePage);
    template <typename RowAt>
    void forEachRow(const std::vector<std::uint32_t>& pages, unsigned long tablePage, RowAt&& rowAt,
                    std::uint32_t* skipped);
    void sendRow(const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields, int start,
                 std::size_t size, Losses& losses);
    void sendLostRow(const std::vector<const MdbColumn*>& columns, const std::vector<MdbField>* fields);
    void putValue(std::string& out, const MdbColumn* col, const MdbField& field);
    bool putLongValue(std::string& out, const MdbColumn* col, const MdbField& field);
    void putText(std::string& out, const unsigned char* p, std::size_t n, bool whole = true);
    bool readLongValue(const unsigned char* ref, int size, std::string* value);
    void markMisplacedPages(const std::vector<std::uint32_t>& pages, unsigned long tablePage,
                            const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields);
    void markMisplaced(std::uint32_t page);
    std::pair<const unsigned char*, std::size_t> longValueRow(std::uint32_t pageRow);

    MdbHandle* m_mdb;
    // The table's pages are read here, a stretch at a time, rather than
    // through libmdb, which spends three system calls on every page it reads
    // and keeps none of them.
    FilePages& m_pages;
    std::uint32_t m_pageCount;
    TablePages m_tablePages;
    FrameOutput& m_out;
    int m_pageSize;
    bool m_jet3;
    int m_codePage = 0;
    std::string m_longValue;
    QString m_text; // a text value being converted
    std::string m_row;
    std::vector<std::uint16_t> m_inPart;
    std::string m_tableName;
    MdbTableDef* m_table = nullptr;
    // Long-value pages that broke a value of the table: the values they hold
    // cannot be trusted, though each may look sound on its own (a page that
    // took another's place holds rows of the right shape).
    std::vector<bool> m_misplaced;
    std::vector<std::uint32_t> m_chain; // pages of the value being followed
};

bool isLongValue(const MdbColumn* col)
{
    return col->col_type == MDB_MEMO || col->col_type == MDB_OLE;
}

// A long value whose pages cannot be followed whole. `pageLost`: the link
// leads to a page that is no long-value page at all (gone, zeroed, noise, or
// another kind of page). Otherwise it leads to a long-value page without the
// row it names, which is what a page that stands in another's place gives:
// the links read before it may then have been another value's.
struct BrokenLink {
    bool pageLost;
    bool misplaced = false; // a page that broke another value
};

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

// Returns false when only part of the value (perhaps none) could be read.
bool JetFile::putLongValue(std::string& out, const MdbColumn* col, const MdbField& field)
{
    if (field.start < 0 || field.siz < 0 || field.start + field.siz > m_pageSize)
        throw UnreadableValue{"a long value lies outside its page"};
    const bool whole = readLongValue(m_mdb->pg_buf + field.start, field.siz, &m_longValue);
    if (col->col_type == MDB_MEMO) {
        putText(out, reinterpret_cast<const unsigned char*>(m_longValue.data()), m_longValue.size(), whole);
    } else {
        // Part of a picture or document is no use to anyone.
        putU8(out, std::uint8_t(ValueTag::Blob));
        putBytes(out, whole ? std::string_view(m_longValue) : std::string_view());
    }
    return whole;
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

// A long value (memo, OLE object) is a 12-byte reference in the row: the
// length with flags in its top byte, then where the data lies. Flag 0x80: the
// data follows in the row; 0x40: it is one row of a long-value page; none: it
// is a chain of such rows, each starting with the page/row of the next.
// The value is read whole, however long. When it cannot be, `value` keeps
// only what is known to be its own, and false is returned: the links read
// before the one that pointed to a lost page, or before a page found out of
// place (see markMisplacedPages), each of them a row of a long-value page the
// chain led to; nothing when the chain ends early, runs long or names a row
// that is not there, since a link read earlier may then have come from a page
// that took another's place.
// With `value` null the pages are only followed, and those that break a
// value are marked in m_misplaced.
bool JetFile::readLongValue(const unsigned char* ref, int size, std::string* value)
{
    if (value)
        value->clear();
    if (size == 0)
        return true;
    if (size < kLongValueRefSize)
        return false;

    const std::uint32_t word = le32(ref);
    const std::uint32_t length = word & 0x00FFFFFF;
    const std::uint32_t flags = word >> 24;
    std::uint32_t pageRow = le32(ref + 4);
    std::size_t got = 0;       // bytes of the value followed so far
    std::size_t lastLink = 0;  // where the last link read begins
    m_chain.clear();

    if (flags & 0x80) {
        if (std::uint32_t(size - kLongValueRefSize) < length)
            return false;
        if (value)
            value->assign(reinterpret_cast<const char*>(ref + kLongValueRefSize), length);
        return true;
    }
    try {
        if (flags & 0x40) {
            // The row holds the value and nothing else: a row of another
            // length is another value's.
            const auto [p, n] = longValueRow(pageRow);
            if (n != length)
                throw BrokenLink{false};
            if (value)
                value->assign(reinterpret_cast<const char*>(p), length);
            return true;
        }
        if (flags != 0)
            return false;

        if (value)
            value->reserve(length);
        while (got < length) {
            if (pageRow == 0)
                throw BrokenLink{false};
            const auto [p, n] = longValueRow(pageRow);
            // Each link must bring data, so a chain that loops cannot run forever.
            if (n <= 4)
                throw BrokenLink{false};
            pageRow = le32(p);
            lastLink = got;
            got += n - 4;
            if (value)
                value->append(reinterpret_cast<const char*>(p + 4), n - 4);
        }
        if (got != length || pageRow != 0)
            throw BrokenLink{false};
        return true;
    } catch (const BrokenLink& broken) {
        if (!value) {
            // Where a value breaks, the page it broke on is out of place or
            // lost; when that cannot be told, any page of its chain may be.
            if (broken.pageLost || broken.misplaced) {
                markMisplaced(pageRow >> 8);
            } else {
                for (const std::uint32_t page : m_chain)
                    markMisplaced(page);
                markMisplaced(pageRow >> 8);
            }
            return false;
        }
        if (broken.misplaced)
            value->resize(got); // every link before the page was followed from sound pages
        else if (!broken.pageLost || got > length)
            value->clear();
        else
            // The link that pointed to the lost page may itself be the first
            // one out of place (a row of a page that took another's place,
            // read as a link): it goes too.
            value->resize(lastLink);
        return false;
    }
}

void JetFile::markMisplaced(std::uint32_t page)
{
    if (page < m_misplaced.size())
        m_misplaced[page] = true;
}

// The data of one row of a long-value page. Throws BrokenLink when the page
// is not a long-value page or holds no such row.
std::pair<const unsigned char*, std::size_t> JetFile::longValueRow(std::uint32_t pageRow)
{
    const std::uint32_t page = pageRow >> 8;
    const std::uint32_t row = pageRow & 0xFF;
    if (page == 0)
        throw BrokenLink{true};
    const unsigned char* buf = m_pages.page(page);
    if (!buf)
        throw BrokenLink{true};
    const int rco = m_mdb->fmt->row_count_offset;
    if (buf[0] != kDataPage || std::memcmp(buf + 4, "LVAL", 4) != 0)
        throw BrokenLink{true};
    if (page < m_misplaced.size() && m_misplaced[page])
        throw BrokenLink{false, true};
    m_chain.push_back(page);
    const std::uint32_t count = le16(buf + rco);
    if (row >= count || rco + 4 + int(row) * 2 > m_pageSize)
        throw BrokenLink{false};
    const std::uint32_t word = le16(buf + rco + 2 + row * 2);
    if (word & 0x4000)
        throw BrokenLink{false}; // a deleted row belongs to no value any more
    const std::uint32_t start = word & kOffsetMask;
    const std::uint32_t end = row == 0 ? std::uint32_t(m_pageSize) : (le16(buf + rco + row * 2) & kOffsetMask);
    if (start > end || end > std::uint32_t(m_pageSize))
        throw BrokenLink{false};
    return {buf + start, end - start};
}

bool nameWanted(const char* name, const QStringList& tables)
{
    if (tables.isEmpty())
        return true;
    const QString n = QString::fromUtf8(name);
    for (const QString& t : tables)
        if (n.compare(t, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The list of objects is the table MSysObjects, whose definition is always
// page 2 and which lists itself. When pages of it are lost, libmdb returns
// what it could read without a word. A list that lacks itself, or holds fewer
// objects than its definition counts, and names no table of the user's is
// damaged: the file must not pass for one without tables. One that still
// names tables serves them.
void checkCatalog(const GPtrArray* catalog, FilePages& pages, const MdbFormatConstants& format)
{
    constexpr std::uint32_t kCatalogPage = 2;
    const unsigned char* definition = pages.page(kCatalogPage);
    if (!definition)
        damaged("its list of tables cannot be read");
    const std::uint32_t counted = le32(definition + format.tab_num_rows_offset);
    bool listsItself = false;
    bool listsTables = false;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!entry || entry->object_type != MDB_TABLE)
            continue;
        if (entry->table_pg == kCatalogPage && g_ascii_strcasecmp(entry->object_name, "MSysObjects") == 0)
            listsItself = true;
        else if (mdb_is_user_table(entry))
            listsTables = true;
    }
    if (!listsTables && (!listsItself || catalog->len < counted))
        damaged("its list of tables is damaged");
}

} // namespace

void sendTables(const QString& path, const QStringList& tables, FrameOutput& out)
{
    const QByteArray localPath = path.toLocal8Bit();
    struct stat st {};
    if (::stat(localPath.constData(), &st) != 0)
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "the file cannot be found");
    if (!S_ISREG(st.st_mode))
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "it is not a file");

    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(localPath.constData(), MDB_NOFLAGS));
    if (!mdb)
        throw ReadFailure(ErrorCode::UnrecognizedFormat, "it is not a Jet database");
    if (!mdb->fmt || mdb->fmt->pg_size <= 0 || mdb->fmt->pg_size > MDB_PGSIZE)
        throw ReadFailure(ErrorCode::UnrecognizedFormat, "it has an unknown page size");
    // A Jet file is whole pages. Of a file cut short, the whole pages are
    // read; what lay beyond is lost as a damaged page would be.
    const std::uint32_t pageCount = std::uint32_t(st.st_size / mdb->fmt->pg_size);
    const int fd = ::open(localPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "the file cannot be read");
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    FilePages pages(fd, int(mdb->fmt->pg_size), pageCount);

    JetFile file(mdb.get(), pages, out);

    // libmdb decodes Jet 3 names with the code page it is told; make that the
    // file's own before the catalog is read (when iconv knows it at all).
    if (mdb->f->jet_version == MDB_VER_JET3 && file.codePage() != 1252) {
        const std::string charset = "CP" + std::to_string(file.codePage());
        const iconv_t probe = ::iconv_open("UTF-8", charset.c_str());
        if (probe != iconv_t(-1)) {
            ::iconv_close(probe);
            ::setenv("MDB_JET3_CHARSET", charset.c_str(), 1);
            mdb_iconv_close(mdb.get());
            mdb_iconv_init(mdb.get());
        }
    }

    {
        std::string& frame = out.begin(FrameKind::Start);
        putU32(frame, kMagic);
        putU8(frame, std::uint8_t(mdb->f->jet_version));
        putU16(frame, std::uint16_t(file.codePage()));
        out.finish();
    }

    GPtrArray* catalog = mdb_read_catalog(mdb.get(), MDB_ANY);
    if (!catalog)
        damaged("its list of tables cannot be read");
    checkCatalog(catalog, pages, *mdb->fmt);
    // Entries stay valid while no other catalog is read; we read none.
    QSet<QString> tableNames;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!entry || entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        // The system's own tables pass for user tables only when their flags
        // in the catalog were damaged.
        if (g_ascii_strncasecmp(entry->object_name, "MSys", 4) == 0)
            damaged("its list of tables is damaged");
        if (!nameWanted(entry->object_name, tables))
            continue;
        const QString folded = QString::fromUtf8(entry->object_name).toCaseFolded();
        if (folded.isEmpty() || tableNames.contains(folded))
            damaged("its list of tables holds an empty or repeated name");
        tableNames.insert(folded);
        file.sendTable(entry);
    }
}

} // namespace Orvanta::Jet
