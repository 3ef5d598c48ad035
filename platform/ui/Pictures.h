// Picture loading: a picture file read into a pixmap. JPEG is what the
// program's optional pictures are; any format Qt reads is accepted.
#pragma once

#include <QPixmap>
#include <QString>

namespace Orvanta::Pictures {

// Reads the file anew each call. A file that cannot be opened fails like any
// file read; one that is not a readable picture fails with error 481
// "Invalid picture".
QPixmap load(const QString& systemPath);

} // namespace Orvanta::Pictures
