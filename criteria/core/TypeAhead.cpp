#include "criteria/core/TypeAhead.h"

namespace Orvanta::TypeAhead {

namespace {

// The first row from `start` on, round to the top, whose name starts with `prefix`.
int firstFrom(const QStringList& names, int start, const QString& prefix)
{
    const int n = int(names.size());
    for (int i = 0; i < n; ++i) {
        const int row = ((start % n) + n + i) % n;
        if (names[row].startsWith(prefix, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

bool oneCharacterRepeated(const QString& typed)
{
    for (const QChar c : typed) {
        if (c.toCaseFolded() != typed.front().toCaseFolded())
            return false;
    }
    return true;
}

} // namespace

int find(const QStringList& names, int current, const QString& typed)
{
    if (typed.isEmpty() || names.isEmpty())
        return -1;
    const int from = current < 0 ? 0 : current;
    // A longer prefix is looked for from the current name itself, which may
    // still fit it.
    if (typed.size() > 1) {
        const int row = firstFrom(names, from, typed);
        if (row >= 0 || !oneCharacterRepeated(typed))
            return row;
    }
    // One character (or one typed again and again): the next name after the
    // current one that starts with it.
    return firstFrom(names, current < 0 ? 0 : current + 1, typed.left(1));
}

QString Run::add(const QString& text, qint64 msNow, int intervalMs)
{
    if (m_typed.isEmpty() || msNow - m_last > intervalMs)
        m_typed.clear();
    m_typed += text;
    m_last = msNow;
    return m_typed;
}

} // namespace Orvanta::TypeAhead
