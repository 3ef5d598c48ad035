#include "platform/jet/JetFileReader.h"

#include "platform/Error.h"
#include "platform/db/JetDate.h"
#include "platform/db/JetProtocol.h"
#include "platform/db/JetText.h"
#include "platform/jet/FrameOutput.h"

// The libmdb header pulls glib.h in inside extern "C", which C++ glib headers
// do not survive; included first, glib's own guards keep it out.
#include <glib.h>
#include <mdbtools.h>

#include <QSet>

#include <sys/stat.h>

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

class JetFile {
public:
    JetFile(MdbHandle* mdb, std::uint32_t pageCount, FrameOutput& out)
        : m_mdb(mdb), m_pageCount(pageCount), m_out(out),
          m_pageSize(int(mdb->fmt->pg_size)), m_jet3(mdb->f->jet_version == MDB_VER_JET3)
    {
        if (m_jet3)
            m_codePage = JetText::jet3CodePage(mdb->f->code_page, mdb->f->lang_id);
    }

    int codePage() const { return m_codePage; }

    void sendTable(MdbCatalogEntry* entry);

private:
    void sendValue(std::string& out, const MdbColumn* col, const MdbField& field);
    void putText(std::string& out, const unsigned char* p, std::size_t n);
    void readLongValue(const unsigned char* ref, int size, std::string& value);
    std::pair<const unsigned char*, std::size_t> longValueRow(std::uint32_t pageRow);

    MdbHandle* m_mdb;
    std::uint32_t m_pageCount;
    FrameOutput& m_out;
    int m_pageSize;
    bool m_jet3;
    int m_codePage = 0;
    std::string m_longValue;
    std::string m_tableName;
};

void JetFile::sendTable(MdbCatalogEntry* entry)
{
    m_tableName = entry->object_name;
    std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
    if (!table)
        damaged("the definition of table '" + m_tableName + "' cannot be read");
    if (!mdb_read_columns(table.get()) || !table->columns)
        damaged("the columns of table '" + m_tableName + "' cannot be read");
    const unsigned columnCount = table->num_cols;
    if (columnCount > MDB_MAX_COLS || columnCount != table->columns->len)
        damaged("table '" + m_tableName + "' has an impossible column count");
    mdb_rewind_table(table.get());

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

    // libmdb fills one field per column, at most MDB_MAX_COLS of them.
    std::vector<MdbField> fields(MDB_MAX_COLS + 8);
    std::uint32_t rows = 0;
    const std::uint32_t expectedRows = table->num_rows;
    while (mdb_fetch_row(table.get())) {
        if (rows >= expectedRows)
            damaged("table '" + m_tableName + "' holds more rows than it counts");
        // The row just fetched is still on the current page: crack it once
        // more to see its null flags, which the bound values do not tell.
        int start = 0;
        size_t size = 0;
        if (table->cur_row == 0 || mdb_find_row(m_mdb, int(table->cur_row) - 1, &start, &size) != 0)
            damaged("a row of table '" + m_tableName + "' cannot be found");
        start &= kOffsetMask;
        if (size == 0 || start + int(size) > m_pageSize)
            damaged("a row of table '" + m_tableName + "' lies outside its page");
        if (mdb_crack_row(table.get(), start, size, fields.data()) < 0)
            damaged("a row of table '" + m_tableName + "' cannot be read");

        std::string& out = m_out.begin(FrameKind::Row);
        for (unsigned i = 0; i < columnCount; ++i)
            sendValue(out, columns[i], fields[i]);
        m_out.finish();
        ++rows;
    }

    // libmdb passes over a data page it cannot use without a word; the row
    // count of the table definition tells.
    if (rows != expectedRows)
        damaged("table '" + m_tableName + "' counts " + std::to_string(expectedRows) + " rows but "
                + std::to_string(rows) + " can be read");

    std::string& out = m_out.begin(FrameKind::TableEnd);
    putU32(out, rows);
    m_out.finish();
}

void JetFile::sendValue(std::string& out, const MdbColumn* col, const MdbField& field)
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
        damaged("a value of table '" + m_tableName + "' lies outside its page");
    const unsigned char* v = m_mdb->pg_buf + field.start;
    const int n = field.siz;
    auto need = [&](int size) {
        if (n < size)
            damaged("a value of table '" + m_tableName + "' is too short");
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
    case MDB_MEMO:
        readLongValue(v, n, m_longValue);
        putText(out, reinterpret_cast<const unsigned char*>(m_longValue.data()), m_longValue.size());
        return;
    case MDB_OLE:
        readLongValue(v, n, m_longValue);
        putU8(out, std::uint8_t(ValueTag::Blob));
        putBytes(out, m_longValue);
        return;
    default:
        putU8(out, std::uint8_t(ValueTag::Blob));
        putBytes(out, std::string_view(reinterpret_cast<const char*>(v), std::size_t(n)));
        return;
    }
}

void JetFile::putText(std::string& out, const unsigned char* p, std::size_t n)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(p), qsizetype(n));
    const QByteArray utf8 = (m_jet3 ? JetText::decodeCodePage(bytes, m_codePage) : JetText::decodeJet4(bytes)).toUtf8();
    putU8(out, std::uint8_t(ValueTag::Text));
    putBytes(out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

// A long value (memo, OLE object) is a 12-byte reference in the row: the
// length with flags in its top byte, then where the data lies. Flag 0x80: the
// data follows in the row; 0x40: it is one row of a long-value page; none: it
// is a chain of such rows, each starting with the page/row of the next.
// The value is read whole, however long.
void JetFile::readLongValue(const unsigned char* ref, int size, std::string& value)
{
    value.clear();
    if (size == 0)
        return;
    if (size < kLongValueRefSize)
        damaged("a memo of table '" + m_tableName + "' has a short reference");

    const std::uint32_t word = le32(ref);
    const std::uint32_t length = word & 0x00FFFFFF;
    const std::uint32_t flags = word >> 24;
    std::uint32_t pageRow = le32(ref + 4);

    if (flags & 0x80) {
        value.assign(reinterpret_cast<const char*>(ref + kLongValueRefSize), std::size_t(size - kLongValueRefSize));
        return;
    }
    if (flags & 0x40) {
        const auto [p, n] = longValueRow(pageRow);
        if (n < length)
            damaged("a memo of table '" + m_tableName + "' is shorter than its length");
        value.assign(reinterpret_cast<const char*>(p), length);
        return;
    }
    if (flags != 0)
        damaged("a memo of table '" + m_tableName + "' has unknown flags");

    value.reserve(length);
    while (value.size() < length) {
        if (pageRow == 0)
            damaged("the memo chain of table '" + m_tableName + "' ends early");
        const auto [p, n] = longValueRow(pageRow);
        // Each link must bring data, so a chain that loops cannot run forever.
        if (n <= 4)
            damaged("the memo chain of table '" + m_tableName + "' has an empty link");
        pageRow = le32(p);
        value.append(reinterpret_cast<const char*>(p + 4), n - 4);
    }
    value.resize(length);
}

std::pair<const unsigned char*, std::size_t> JetFile::longValueRow(std::uint32_t pageRow)
{
    const std::uint32_t page = pageRow >> 8;
    const std::uint32_t row = pageRow & 0xFF;
    if (page == 0 || page >= m_pageCount)
        damaged("a memo of table '" + m_tableName + "' points outside the file");
    if (mdb_read_alt_pg(m_mdb, page) != m_pageSize)
        damaged("a memo page of table '" + m_tableName + "' cannot be read");
    const unsigned char* buf = m_mdb->alt_pg_buf;
    const int rco = m_mdb->fmt->row_count_offset;
    if (buf[0] != kDataPage)
        damaged("a memo of table '" + m_tableName + "' points to a page that holds no data");
    const std::uint32_t count = le16(buf + rco);
    if (row >= count || rco + 4 + int(row) * 2 > m_pageSize)
        damaged("a memo of table '" + m_tableName + "' points to a missing row");
    const std::uint32_t start = le16(buf + rco + 2 + row * 2) & kOffsetMask;
    const std::uint32_t end = row == 0 ? std::uint32_t(m_pageSize) : (le16(buf + rco + row * 2) & kOffsetMask);
    if (start > end || end > std::uint32_t(m_pageSize))
        damaged("a memo row of table '" + m_tableName + "' lies outside its page");
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
    // A Jet file is whole pages; anything else was cut or padded.
    if (st.st_size % mdb->fmt->pg_size != 0)
        damaged("its length is not a whole number of pages");
    const std::uint32_t pageCount = std::uint32_t(st.st_size / mdb->fmt->pg_size);

    JetFile file(mdb.get(), pageCount, out);

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

    GPtrArray* catalog = mdb_read_catalog(mdb.get(), MDB_TABLE);
    if (!catalog)
        damaged("its list of tables cannot be read");
    // Entries stay valid while no other catalog is read; we read none.
    QSet<QString> tableNames;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!entry || !mdb_is_user_table(entry) || !nameWanted(entry->object_name, tables))
            continue;
        const QString folded = QString::fromUtf8(entry->object_name).toCaseFolded();
        if (folded.isEmpty() || tableNames.contains(folded))
            damaged("its list of tables holds an empty or repeated name");
        tableNames.insert(folded);
        file.sendTable(entry);
    }
}

} // namespace Orvanta::Jet
