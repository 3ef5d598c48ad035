// The application object: ends the program when no window is loaded and no
// handler is running, rather than when the last visible window closes. Errors
// never reach it: each handler stops its own at its boundary (see
// app/forms/Handler.h).
#pragma once

#include <QApplication>

namespace Orvanta {

class OrvantaApplication : public QApplication {
    Q_OBJECT
public:
    OrvantaApplication(int& argc, char** argv);
    ~OrvantaApplication() override;

    // Runs the event loop until the program end; returns at once when no
    // window is loaded (the start screen failed to load).
    int run();
};

} // namespace Orvanta
