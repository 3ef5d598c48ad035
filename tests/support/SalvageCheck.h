// Checks a salvaged copy of a damaged file against the copy of the sound
// file: how many rows are served, and whether every served row is either an
// original row or a row the damage report names as read in part, whose long
// text is then a beginning of the original's.
#pragma once

#include "platform/sql/ResultTable.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace Orvanta::Test {

// Rows of one table, NULL as std::nullopt. The last `textColumns` columns hold
// long values, which a row read in part may hold only the beginning of; the
// column `titleColumn` names the row in a damage report.
struct SalvageRows {
    std::vector<std::vector<std::optional<QString>>> rows;
    int textColumns = 1;
    int titleColumn = 0;
};

SalvageRows rowsOf(const ResultTable& table, int textColumns = 1, int titleColumn = 0);

struct SalvageFigures {
    qint64 original = 0;
    qint64 served = 0;
    qint64 intact = 0;            // equal to an original row
    qint64 inPart = 0;            // reported in part; its text a beginning of the original
    qint64 inPartWrong = 0;       // reported in part, with text the original does not begin with
    qint64 changedUnreported = 0; // not an original row, and not reported

    SalvageFigures& operator+=(const SalvageFigures& o);
};

SalvageFigures compareSalvaged(const SalvageRows& original, const SalvageRows& served,
                               const QStringList& titlesInPart);

// A Jet 4 file with its last long-value page zeroed (in the install fixture:
// the end of the long memo of the row "長文"); empty when it has none.
QByteArray withLastLongValuePageZeroed(QByteArray jetFile);

} // namespace Orvanta::Test
