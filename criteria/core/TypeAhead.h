// Typing in a list jumps to a name: the characters typed in quick succession
// make a prefix, and the list moves to the first name, from the current one
// on, that starts with it (letter case ignored). Typing one character again
// and again steps through the names that start with it, as the desktop's
// file lists do.
#pragma once

#include <QString>
#include <QStringList>

namespace Orvanta::TypeAhead {

// The row to move to for `typed` (everything typed in one run), or -1 when
// no name fits and the list stays where it is.
int find(const QStringList& names, int current, const QString& typed);

// The characters of one run of typing: a pause longer than the desktop's
// keyboard input interval starts a new run.
class Run {
public:
    // Adds what one key typed at `msNow` and returns the run so far.
    QString add(const QString& text, qint64 msNow, int intervalMs);

private:
    QString m_typed;
    qint64 m_last = 0;
};

} // namespace Orvanta::TypeAhead
