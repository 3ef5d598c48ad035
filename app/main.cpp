// Program start: the start screen, then the event loop until no window is
// loaded.
#include "app/OrvantaApplication.h"
#include "app/WindowLinks.h"
#include "app/forms/Handler.h"
#include "app/startscreen/FrmIni.h"
#include "platform/ui/Artwork.h"

#include <QIcon>

#include <unistd.h>

int main(int argc, char** argv)
{
    // The embedded browser's sandbox refuses to start for the root user.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    // The embedded browser shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    Orvanta::OrvantaApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(Orvanta::Artwork::icon()));

    Orvanta::linkWindows();
    Orvanta::runHandler([] { Orvanta::Forms::show<Orvanta::FrmIni>(); });
    return app.run();
}
