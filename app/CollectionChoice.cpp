#include "app/CollectionChoice.h"

#include "app/core/CollectionFolder.h"
#include "platform/files/Paths.h"
#include "platform/ui/MessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace Orvanta::CollectionChoice {

namespace {

Chooser& testChooser()
{
    static Chooser chooser;
    return chooser;
}

// The user's settings file (~/.config/Tarsel/Orvanta.conf).
QString rememberedFolder()
{
    const QSettings settings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"));
    return settings.value(rememberedKey()).toString();
}

void remember(const QString& folder)
{
    QSettings settings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"));
    settings.setValue(rememberedKey(), folder);
    settings.sync();
}

QString pick(const QString& startFolder)
{
    if (testChooser())
        return testChooser()(startFolder);
    return QFileDialog::getExistingDirectory(nullptr, chooserTitle(), startFolder, QFileDialog::ShowDirsOnly);
}

// Where the chooser opens after a folder was refused: the nearest folder
// above it that exists, so the user starts close to what they meant.
QString nearestExisting(const QString& folder)
{
    QString path = folder;
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            break;
        path = parent;
    }
    return QFileInfo(path).isDir() ? path : QDir::homePath();
}

void refuse(CollectionFolder::Problem problem, const QString& folder)
{
    MessageSink::show(QStringLiteral("Tarsel Orvanta"), CollectionFolder::message(problem, folder));
}

} // namespace

QString chooserTitle()
{
    return QStringLiteral("選擇資料集資料夾（含 jst.mdb）");
}

QString rememberedKey()
{
    return QStringLiteral("collection");
}

void setChooserForTesting(Chooser chooser)
{
    testChooser() = std::move(chooser);
}

QString installFolder(const QString& commandLineFolder)
{
    using CollectionFolder::Problem;
    QString start = QDir::homePath();

    if (!commandLineFolder.isEmpty()) {
        const QString folder = CollectionFolder::commandLineFolder(commandLineFolder);
        const Problem problem = CollectionFolder::check(folder);
        if (problem == Problem::None)
            return folder;
        refuse(problem, folder);
        start = nearestExisting(folder);
    } else {
        // A laid-out install folder: the programs beside the collection.
        const QString own = Paths::programFolder();
        if (CollectionFolder::check(own) == Problem::None)
            return own;
        const QString remembered = rememberedFolder();
        if (!remembered.isEmpty()) {
            const Problem problem = CollectionFolder::check(remembered);
            if (problem == Problem::None)
                return remembered;
            refuse(problem, remembered);
            start = nearestExisting(remembered);
        }
    }

    for (;;) {
        const QString picked = pick(start);
        if (picked.isEmpty())
            return {};
        const QString folder = CollectionFolder::absolute(picked);
        const Problem problem = CollectionFolder::check(folder);
        if (problem == Problem::None) {
            remember(folder);
            return folder;
        }
        refuse(problem, folder);
        start = nearestExisting(folder);
    }
}

} // namespace Orvanta::CollectionChoice
