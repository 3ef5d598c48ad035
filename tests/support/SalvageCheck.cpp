#include "support/SalvageCheck.h"

#include <QSet>

#include <map>

namespace Orvanta::Test {

namespace {

using Row = std::vector<std::optional<QString>>;

// NULL and '' differ here as they do in the data: a marker no text holds.
QString keyOf(const Row& r, int keyColumns)
{
    QString key;
    for (int c = 0; c < keyColumns && c < int(r.size()); ++c)
        key += r[c] ? QLatin1Char('=') + *r[c] + QLatin1Char('\x1f') : QStringLiteral("null\x1f");
    return key;
}

bool beginsWith(const Row& original, const Row& served, int keyColumns)
{
    for (std::size_t c = std::size_t(keyColumns); c < served.size(); ++c) {
        if (!original[c].value_or(QString()).startsWith(served[c].value_or(QString())))
            return false;
    }
    return true;
}

} // namespace

SalvageRows rowsOf(const ResultTable& table, int textColumns, int titleColumn)
{
    SalvageRows out;
    out.textColumns = textColumns;
    out.titleColumn = titleColumn;
    out.rows.reserve(std::size_t(table.rowCount()));
    for (qsizetype r = 0; r < table.rowCount(); ++r) {
        Row row;
        for (int c = 0; c < table.columnCount(); ++c)
            row.push_back(table.isNull(r, c) ? std::nullopt : std::optional<QString>(table.cellText(r, c)));
        out.rows.push_back(std::move(row));
    }
    return out;
}

SalvageFigures& SalvageFigures::operator+=(const SalvageFigures& o)
{
    original += o.original;
    served += o.served;
    intact += o.intact;
    inPart += o.inPart;
    inPartWrong += o.inPartWrong;
    changedUnreported += o.changedUnreported;
    return *this;
}

SalvageFigures compareSalvaged(const SalvageRows& original, const SalvageRows& served,
                               const QStringList& titlesInPart)
{
    const int columns = original.rows.empty() ? 0 : int(original.rows.front().size());
    const int keyColumns = columns - original.textColumns;
    // Originals by everything but their long text; each can be matched once.
    std::multimap<QString, const Row*> unmatched;
    for (const Row& r : original.rows)
        unmatched.emplace(keyOf(r, keyColumns), &r);
    const QSet<QString> reported(titlesInPart.begin(), titlesInPart.end());

    SalvageFigures f;
    f.original = qint64(original.rows.size());
    f.served = qint64(served.rows.size());
    // Whole rows first, so that a row read in part cannot take the place of
    // a whole one that looks the same.
    std::vector<const Row*> rest;
    for (const Row& r : served.rows) {
        auto [from, to] = unmatched.equal_range(keyOf(r, keyColumns));
        auto hit = to;
        for (auto it = from; it != to; ++it) {
            if (*it->second == r) {
                hit = it;
                break;
            }
        }
        if (hit != to) {
            ++f.intact;
            unmatched.erase(hit);
        } else {
            rest.push_back(&r);
        }
    }
    for (const Row* r : rest) {
        const std::optional<QString>& title = (*r)[std::size_t(served.titleColumn)];
        auto [from, to] = unmatched.equal_range(keyOf(*r, keyColumns));
        if (!title || !reported.contains(*title) || from == to || int(r->size()) != columns) {
            ++f.changedUnreported;
            continue;
        }
        auto hit = to;
        for (auto it = from; it != to; ++it) {
            if (beginsWith(*it->second, *r, keyColumns)) {
                hit = it;
                break;
            }
        }
        if (hit == to) {
            ++f.inPartWrong;
            unmatched.erase(from);
        } else {
            ++f.inPart;
            unmatched.erase(hit);
        }
    }
    return f;
}

QByteArray withLastLongValuePageZeroed(QByteArray jetFile)
{
    constexpr qsizetype kPage = 4096;
    qsizetype last = -1;
    for (qsizetype at = 0; at + kPage <= jetFile.size(); at += kPage) {
        if (jetFile[at] == 1 && jetFile.mid(at + 4, 4) == "LVAL")
            last = at;
    }
    if (last < 0)
        return {};
    return jetFile.replace(last, kPage, QByteArray(kPage, '\0'));
}

} // namespace Orvanta::Test
