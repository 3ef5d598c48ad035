#include "platform/ui/Pictures.h"

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

namespace Orvanta::Pictures {

QPixmap load(const QString& systemPath)
{
    QByteArray bytes = FileSystem::readBytes(systemPath);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The content decides the format, not the name.
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw Error(ErrorCode::InvalidPicture, QStringLiteral("Invalid picture"));
    return QPixmap::fromImage(image);
}

} // namespace Orvanta::Pictures
