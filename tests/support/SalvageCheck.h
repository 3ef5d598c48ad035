// Checks a salvaged copy of a damaged collection against the copy of the
// sound file: which rows are served, and whether every served row is either
// the original row or a row the damage report names as read in part, whose
// text is then a beginning of the original text.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace Orvanta::Test {

// A row of maindata as the checks compare it.
struct DocumentRow {
    std::optional<QString> subject, htm, content, date;
};

struct SalvageFigures {
    qint64 served = 0;
    qint64 intact = 0;            // equal to an original row
    qint64 inPart = 0;            // reported in part; the text a beginning of the original
    qint64 inPartWrong = 0;       // reported in part, but with text the original does not begin with
    qint64 changedUnreported = 0; // not an original row, and not reported

    SalvageFigures& operator+=(const SalvageFigures& o);
};

SalvageFigures compareSalvaged(const std::vector<DocumentRow>& original, const std::vector<DocumentRow>& served,
                               const QStringList& titlesInPart);

} // namespace Orvanta::Test
