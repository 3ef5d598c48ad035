#include "platform/collection/Connection.h"

#include "platform/Error.h"
#include "platform/collection/Database.h"
#include "platform/files/Paths.h"

namespace Orvanta {

namespace {

// The value of the "Data Source" key: the text after "=" up to the next ";"
// (or, when quoted, up to the closing quote). Keys ignore letter case and
// surrounding spaces. Null when the key is absent.
QString dataSourceOf(const QString& connectionString)
{
    qsizetype i = 0;
    const qsizetype n = connectionString.size();
    while (i < n) {
        const qsizetype eq = connectionString.indexOf(QLatin1Char('='), i);
        const qsizetype semi = connectionString.indexOf(QLatin1Char(';'), i);
        if (eq < 0)
            break;
        if (semi >= 0 && semi < eq) { // a part without "="
            i = semi + 1;
            continue;
        }
        const QString key = connectionString.mid(i, eq - i).simplified();
        qsizetype valueStart = eq + 1;
        QString value;
        qsizetype next;
        const QChar first = valueStart < n ? connectionString[valueStart] : QChar();
        if (first == QLatin1Char('"') || first == QLatin1Char('\'')) {
            const qsizetype close = connectionString.indexOf(first, valueStart + 1);
            const qsizetype end = close < 0 ? n : close;
            value = connectionString.mid(valueStart + 1, end - valueStart - 1);
            const qsizetype after = close < 0 ? -1 : connectionString.indexOf(QLatin1Char(';'), close);
            next = after < 0 ? n : after + 1;
        } else {
            const qsizetype end = connectionString.indexOf(QLatin1Char(';'), valueStart);
            value = connectionString.mid(valueStart, (end < 0 ? n : end) - valueStart);
            next = end < 0 ? n : end + 1;
        }
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            return value.isNull() ? QStringLiteral("") : value;
        i = next;
    }
    return {};
}

} // namespace

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::open(const QString& connectionString, const QString& user, const QString& password)
{
    Q_UNUSED(user);
    Q_UNUSED(password);
    const QString dataSource = dataSourceOf(connectionString);
    if (dataSource.isEmpty()) {
        throw Error(ErrorCode::ConnectionString,
                    dataSource.isNull()
                        ? QStringLiteral("The connection string names no data source (\"Data Source=\" is missing).")
                        : QStringLiteral("The connection string names an empty data source."));
    }
    // Messages name the file natively: the connection string joins with "\".
    m_displayPath = Paths::shown(dataSource);
    m_database = Database::open(Paths::toLocal(dataSource), m_displayPath);
}

void Recordset::open(const QString& sql, Connection& connection, CursorType cursor, LockType lock)
{
    Q_UNUSED(cursor);
    Q_UNUSED(lock);
    if (!connection.isOpen())
        throw Error(ErrorCode::ConnectionString, QStringLiteral("Operation is not allowed when the connection is closed."));
    m_rows.reset();
    m_rows = connection.database()->execute(sql, connection.comparison());
}

bool Recordset::atEnd() const
{
    return !m_rows || m_rows->rowCount() == 0;
}

void Recordset::close()
{
    m_rows.reset();
}

} // namespace Orvanta
