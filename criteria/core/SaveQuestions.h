// What the editor asks before a save that would lose something the user may
// not expect to lose: the content of another file, or characters that the
// code page cannot hold. Either question answered "no" leaves the file and
// the window as they were.
#pragma once

#include <QString>

namespace Orvanta::SaveQuestions {

QString caption();

// Saving into `selected`, a file with content, while the text came from
// `loaded` (empty when the text came from no file).
QString overwrite(const QString& selected, const QString& loaded);

// Saving a text of which `count` characters would be written as "?".
QString unsavable(qsizetype count);

} // namespace Orvanta::SaveQuestions
