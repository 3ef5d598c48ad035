// Program start: the start screen, then the event loop until no window is
// loaded.
#include "app/FrmIni.h"
#include "app/OrvantaApplication.h"
#include "app/RuntimeError.h"
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

    try {
        Orvanta::Forms::show<Orvanta::FrmIni>();
    } catch (const std::exception& e) {
        Orvanta::reportRuntimeError(e);
    }
    return app.run();
}
