#include "app/OrvantaApplication.h"

#include "app/Form.h"
#include "app/RuntimeError.h"
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
}

OrvantaApplication::~OrvantaApplication()
{
    ProgramEnd::setAction({});
}

bool OrvantaApplication::notify(QObject* receiver, QEvent* event)
{
    return runHandler([&] { return QApplication::notify(receiver, event); });
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

bool OrvantaApplication::runHandler(const std::function<bool()>& handler)
{
    ProgramEnd::handlerEntered();
    bool result = false;
    try {
        result = handler();
    } catch (const std::exception& e) {
        reportRuntimeError(e);
    } catch (...) {
        reportRuntimeError(std::runtime_error("Unknown error"));
    }
    ProgramEnd::handlerLeft();
    return result;
}

} // namespace Orvanta
