#include "platform/jet/StreamImporter.h"

#include "platform/Error.h"
#include "platform/sql/SqliteStatement.h"

#include <sqlite3.h>

namespace Orvanta::JetImport {

using namespace JetProtocol;

namespace {

// Jet's column type of short text, as the Table frame gives it.
constexpr std::uint8_t kJetTextType = 0x0A;


QString sqliteQuoted(std::string_view name)
{
    QString n = QString::fromUtf8(name.data(), qsizetype(name.size()));
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

const char* declaredType(ValueType type)
{
    switch (type) {
    case ValueType::Integer:
        return "INTEGER";
    case ValueType::Real:
        return "REAL";
    case ValueType::Text:
        return "TEXT";
    case ValueType::Date:
        // Affinity NUMERIC leaves 'YYYY-MM-DD HH:MM:SS' text as it is, and the
        // name tells a reader of the schema what the column holds.
        return "DATETIME";
    case ValueType::Boolean:
        return "BOOLEAN";
    case ValueType::Blob:
        break;
    }
    return "BLOB";
}

} // namespace

StreamImporter::StreamImporter(sqlite3* db) : m_db(db)
{
    exec("SAVEPOINT orvanta_jet_import");
    m_open = true;
}

StreamImporter::~StreamImporter()
{
    finalize();
    if (m_open) {
        sqlite3_exec(m_db, "ROLLBACK TO orvanta_jet_import", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "RELEASE orvanta_jet_import", nullptr, nullptr, nullptr);
    }
}

void StreamImporter::commit()
{
    finalize();
    m_damage.write(m_db);
    exec("RELEASE orvanta_jet_import");
    m_open = false;
}

void StreamImporter::frame(FrameKind kind, const char* data, std::size_t size)
{
    if (m_ended || m_failed)
        throw MalformedStream{"a frame after the end"};
    PayloadReader in(data, size);
    if (!m_started && kind != FrameKind::Start && kind != FrameKind::Failure)
        throw MalformedStream{"no start frame"};
    switch (kind) {
    case FrameKind::Start:
        if (m_started || in.u32() != kMagic)
            throw MalformedStream{"a bad start frame"};
        in.u8();  // Jet version
        in.u16(); // code page
        m_started = true;
        break;
    case FrameKind::Table:
        table(in);
        break;
    case FrameKind::Row:
        row(in);
        break;
    case FrameKind::PartialRow: {
        const unsigned count = in.u16();
        for (unsigned i = 0; i < count; ++i) {
            if (in.u16() >= m_columns)
                throw MalformedStream{"a bad partial row"};
        }
        row(in);
        m_damage.rows.push_back({m_tableName, DamageReport::RowLoss::InPart,
                                 QString::fromUtf8(m_titleBytes.data(), qsizetype(m_titleBytes.size()))});
        break;
    }
    case FrameKind::LostRow:
        lostRow(in);
        m_damage.rows.push_back({m_tableName, DamageReport::RowLoss::LeftOut, m_title});
        break;
    case FrameKind::Losses: {
        if (!m_insert)
            throw MalformedStream{"losses outside a table"};
        DamageReport::Table t;
        t.name = m_tableName;
        t.rowsCounted = in.u32();
        t.rowsLeftOut = in.u32();
        t.rowsInPart = in.u32();
        t.pagesSkipped = in.u32();
        m_damage.tables.push_back(t);
        break;
    }
    case FrameKind::TableEnd:
        if (!m_insert || in.u32() != m_rows)
            throw MalformedStream{"a table end that does not match"};
        finalize();
        break;
    case FrameKind::Failure:
        m_failureNumber = in.u16();
        {
            const std::string_view text = in.bytes();
            m_failureText = QString::fromUtf8(text.data(), qsizetype(text.size()));
        }
        m_failed = true;
        break;
    case FrameKind::End:
        if (m_insert)
            throw MalformedStream{"the end inside a table"};
        m_readerPeakKilobytes = in.u32();
        m_ended = true;
        break;
    default:
        throw MalformedStream{"an unknown frame"};
    }
    if (!in.ok() || !in.atEnd())
        throw MalformedStream{"a frame of the wrong size"};
}

void StreamImporter::table(PayloadReader& in)
{
    m_titleColumn = -1;
    if (m_insert)
        throw MalformedStream{"a table inside a table"};
    const std::string_view name = in.bytes();
    const unsigned count = in.u16();
    if (!in.ok() || name.empty() || count == 0)
        throw MalformedStream{"a bad table frame"};
    QString create = QStringLiteral("CREATE TABLE ") + sqliteQuoted(name) + QStringLiteral(" (");
    QString insert = QStringLiteral("INSERT INTO ") + sqliteQuoted(name) + QStringLiteral(" VALUES (");
    for (unsigned i = 0; i < count; ++i) {
        const std::string_view column = in.bytes();
        const auto type = ValueType(in.u8());
        const std::uint8_t jetType = in.u8();
        if (!in.ok())
            throw MalformedStream{"a bad column"};
        if (i > 0) {
            create += QLatin1String(", ");
            insert += QLatin1Char(',');
        }
        create += sqliteQuoted(column) + QLatin1Char(' ') + QLatin1String(declaredType(type));
        // A row is named in a damage report by its first short text (not
        // a memo): a document's title.
        if (jetType == kJetTextType && m_titleColumn < 0)
            m_titleColumn = int(i);
        insert += QLatin1Char('?');
    }
    create += QLatin1Char(')');
    insert += QLatin1Char(')');
    m_tableName = QString::fromUtf8(name.data(), qsizetype(name.size()));
    exec(create.toUtf8().constData());
    const QByteArray sql = insert.toUtf8();
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_insert, nullptr) != SQLITE_OK)
        sqliteFailed();
    m_columns = count;
    m_rows = 0;
}

void StreamImporter::lostRow(PayloadReader& in)
{
    if (!m_insert)
        throw MalformedStream{"a row outside a table"};
    m_title.clear();
    for (int i = 0; i < m_columns; ++i) {
        const auto tag = ValueTag(in.u8());
        switch (tag) {
        case ValueTag::Null:
            break;
        case ValueTag::Integer:
        case ValueTag::Real:
            in.u64();
            break;
        case ValueTag::Text: {
            const std::string_view text = in.bytes();
            if (i == m_titleColumn)
                m_title = QString::fromUtf8(text.data(), qsizetype(text.size()));
            break;
        }
        case ValueTag::Blob:
            in.bytes();
            break;
        default:
            throw MalformedStream{"an unknown value"};
        }
    }
}

void StreamImporter::row(PayloadReader& in)
{
    if (!m_insert)
        throw MalformedStream{"a row outside a table"};
    m_titleBytes = {};
    for (int i = 1; i <= m_columns; ++i) {
        int rc = SQLITE_OK;
        switch (ValueTag(in.u8())) {
        case ValueTag::Null:
            rc = sqlite3_bind_null(m_insert, i);
            break;
        case ValueTag::Integer:
            rc = sqlite3_bind_int64(m_insert, i, sqlite3_int64(in.u64()));
            break;
        case ValueTag::Real:
            rc = sqlite3_bind_double(m_insert, i, in.f64());
            break;
        case ValueTag::Text: {
            const std::string_view text = in.bytes();
            if (i - 1 == m_titleColumn)
                m_titleBytes = text;
            // The frame stays put until the row is stepped and unbound.
            rc = sqlite3_bind_text64(m_insert, i, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
        case ValueTag::Blob: {
            const std::string_view blob = in.bytes();
            rc = sqlite3_bind_blob64(m_insert, i, blob.data(), blob.size(), SQLITE_STATIC);
            break;
        }
        default:
            throw MalformedStream{"an unknown value"};
        }
        if (!in.ok())
            throw MalformedStream{"a short row"};
        if (rc != SQLITE_OK)
            sqliteFailed();
    }
    if (sqlite3_step(m_insert) != SQLITE_DONE)
        sqliteFailed();
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
    ++m_rows;
}

void StreamImporter::exec(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        sqliteFailed();
}

void StreamImporter::sqliteFailed()
{
    const QString text =
        QStringLiteral("Copying the database failed: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    // Writing the copy failed, not reading the Jet file: the caller may
    // copy it elsewhere.
    throw Error(Sqlite::errorNumberFor(sqlite3_errcode(m_db)), text);
}

void StreamImporter::finalize()
{
    if (m_insert)
        sqlite3_finalize(m_insert);
    m_insert = nullptr;
}

} // namespace Orvanta::JetImport
