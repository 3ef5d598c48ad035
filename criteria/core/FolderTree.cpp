#include "criteria/core/FolderTree.h"

#include <QDir>
#include <QFileInfo>

namespace Orvanta::FolderTree {

QString normalize(const QString& folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

QStringList levels(const QString& folder)
{
    const QString path = normalize(folder);
    QStringList out{QStringLiteral("/")};
    QString built;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        built += QLatin1Char('/') + part;
        out.append(built);
    }
    return out;
}

QStringList levels(const QString& folder, const QString& root)
{
    const QString path = normalize(folder);
    const QString top = normalize(root);
    const QStringList all = levels(path);
    const qsizetype at = all.indexOf(top);
    return at < 0 ? all : all.mid(at);
}

QStringList subfolders(const QString& folder)
{
    const QString path = normalize(folder);
    QDir dir(path);
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    QStringList out;
    out.reserve(names.size());
    for (const QString& name : names)
        out.append(path == QLatin1String("/") ? QLatin1Char('/') + name : path + QLatin1Char('/') + name);
    return out;
}

QString displayName(const QString& folder)
{
    const QString path = normalize(folder);
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

} // namespace Orvanta::FolderTree
