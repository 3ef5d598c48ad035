// The application object: runs every event handler under the program's error
// rule (an error that escapes a handler shows the run-time error message and
// the program goes on) and ends the program when no window is loaded and no
// handler is running, rather than when the last visible window closes.
#pragma once

#include <QApplication>

#include <functional>

namespace Orvanta {

class OrvantaApplication : public QApplication {
    Q_OBJECT
public:
    OrvantaApplication(int& argc, char** argv);
    ~OrvantaApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs the event loop until the program end; returns at once when no
    // window is loaded (the start screen failed to load).
    int run();

    // One handler run: counted as running, errors reported, program end
    // checked afterwards. notify() uses it for every event; returns what the
    // handler returned, or false when it failed.
    static bool runHandler(const std::function<bool()>& handler);
};

} // namespace Orvanta
