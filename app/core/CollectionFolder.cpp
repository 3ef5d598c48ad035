#include "app/core/CollectionFolder.h"

#include "platform/files/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace Orvanta::CollectionFolder {

Problem check(const QString& folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.exists())
        return Problem::Missing;
    if (!info.isDir())
        return Problem::NotAFolder;
    // Listing and entering: both are needed to read the pages below it.
    if (::access(QFile::encodeName(folder).constData(), R_OK | X_OK) != 0)
        return Problem::Unreadable;
    // The same lookup the database open does, letter case of the name aside.
    const QFileInfo database(Paths::toLocal(Paths::join(folder, QStringLiteral("jst.mdb"))));
    if (!database.isFile())
        return Problem::NoDatabase;
    return Problem::None;
}

QString message(Problem problem, const QString& folder)
{
    switch (problem) {
    case Problem::None:
        break;
    case Problem::Missing:
        return QStringLiteral("找不到資料夾「%1」。\n請選擇含有 jst.mdb 的資料夾。").arg(folder);
    case Problem::NotAFolder:
        return QStringLiteral("「%1」不是資料夾。\n請選擇含有 jst.mdb 的資料夾。").arg(folder);
    case Problem::Unreadable:
        return QStringLiteral("無法讀取資料夾「%1」（沒有權限）。\n請選擇含有 jst.mdb 的資料夾。").arg(folder);
    case Problem::NoDatabase:
        return QStringLiteral("資料夾「%1」中沒有 jst.mdb。\n請選擇含有 jst.mdb 的資料夾。").arg(folder);
    }
    return {};
}

QString absolute(const QString& folder)
{
    if (folder.isEmpty())
        return folder;
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

QString commandLineFolder(const QString& given)
{
    const QString path = absolute(given);
    const QFileInfo info(path);
    if (info.isFile() && info.fileName().compare(QLatin1String("jst.mdb"), Qt::CaseInsensitive) == 0)
        return info.absolutePath();
    return path;
}

} // namespace Orvanta::CollectionFolder
