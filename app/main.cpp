// Program start: the collection to open, the start screen, then the event
// loop until no window is loaded.
//
//   orvanta [DIR | DIR/jst.mdb]
#include "app/CollectionChoice.h"
#include "app/OrvantaApplication.h"
#include "app/WindowLinks.h"
#include "app/forms/Handler.h"
#include "app/startscreen/FrmIni.h"
#include "platform/files/Paths.h"
#include "platform/ui/Artwork.h"
#include "search/core/PrivatePage.h"

#include <QIcon>

#include <cstdio>
#include <cstring>

#include <unistd.h>

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0"
#endif

namespace {

const char* const kUsage =
    "Usage: orvanta [DIR]\n"
    "Full-text search of a collection of classical Chinese-medicine documents:\n"
    "HTML pages in code page 950 (Big5) beside one database, jst.mdb.\n"
    "\n"
    "DIR is the collection's folder, the one that holds jst.mdb. Without DIR the\n"
    "program opens its own folder when that holds jst.mdb, otherwise the\n"
    "collection chosen last time; when there is none, a folder chooser opens\n"
    "and the folder chosen there is remembered for the next start. Given the\n"
    "collection's jst.mdb itself, the program opens the folder that holds it.\n"
    "\n"
    "Options:\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n";

// Options are looked at before the application object exists, so that --help
// works without a display. Returns -1 to go on, otherwise the exit status.
int handleOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvanta %s\n", ORVANTA_VERSION);
            return 0;
        }
    }
    return -1;
}

// The folder named on the command line after the toolkit took its own
// options; empty when there is none.
QString folderArgument(const QStringList& arguments, bool& tooMany)
{
    QStringList folders;
    bool optionsEnd = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (!optionsEnd && a == QLatin1String("--"))
            optionsEnd = true;
        else
            folders << a;
    }
    tooMany = folders.size() > 1;
    return folders.value(0);
}

} // namespace

int main(int argc, char** argv)
{
    if (const int status = handleOptions(argc, argv); status >= 0)
        return status;

    // The embedded browser's sandbox refuses to run for the root user; every
    // other user keeps it.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The embedded browser shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    Orvanta::OrvantaApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(Orvanta::Artwork::icon()));

    bool tooMany = false;
    const QString given = folderArgument(QCoreApplication::arguments(), tooMany);
    if (tooMany) {
        std::fputs("orvanta: one folder only\n", stderr);
        std::fputs("Try 'orvanta --help'.\n", stderr);
        return 64;
    }
    const QString folder = Orvanta::CollectionChoice::installFolder(given);
    if (folder.isEmpty())
        return 0; // the chooser was closed: nothing to open
    Orvanta::Paths::setInstallFolder(folder);
    // Pages of earlier runs that were killed before they could clean up.
    Orvanta::PrivatePage::removeLeftovers();

    Orvanta::linkWindows();
    Orvanta::runHandler([] { Orvanta::Forms::show<Orvanta::FrmIni>(); });
    return app.run();
}
