#include "app/OrvantaApplication.h"

#include "app/forms/ProgramEnd.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/Fonts.h"

#include <QEvent>

namespace Orvanta {

OrvantaApplication::OrvantaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The start screen is unloaded while the search window is still being
    // loaded and invisible; Qt's own rule would end the program right there.
    setQuitOnLastWindowClosed(false);
    // Message boxes, tooltips and the printed line draw Chinese in the Ming face.
    installFontFallbacks();
    BusyCursor::install();
}

OrvantaApplication::~OrvantaApplication()
{
    ProgramEnd::setAction({});
}

int OrvantaApplication::run()
{
    if (ProgramEnd::due())
        return 0;
    ProgramEnd::setAction([] { QCoreApplication::exit(0); });
    const int code = exec();
    ProgramEnd::setAction({});
    // Windows unloaded by the last handler are still waiting for deletion;
    // let them go before the application object does.
    sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}

} // namespace Orvanta
