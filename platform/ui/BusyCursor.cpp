#include "platform/ui/BusyCursor.h"

#include "platform/Progress.h"

#include <QApplication>
#include <QElapsedTimer>

namespace Orvanta::BusyCursor {

namespace {

struct State {
    int depth = 0;
    bool shown = false;
    QElapsedTimer clock;
};

State& state()
{
    static State s;
    return s;
}

void restore()
{
    State& s = state();
    if (!s.shown)
        return;
    s.shown = false;
    QApplication::restoreOverrideCursor();
}

void onTick()
{
    State& s = state();
    if (s.depth == 0 || s.shown || !s.clock.isValid() || s.clock.elapsed() < kDelayMs)
        return;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    s.shown = true;
    // Takes effect at once: the window system is told without waiting for
    // the event loop, which is busy with this very handler.
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

} // namespace

void install()
{
    Progress::hook = &onTick;
}

void handlerEntered()
{
    State& s = state();
    if (s.depth++ == 0)
        s.clock.start();
}

void handlerLeft()
{
    State& s = state();
    if (s.depth > 0 && --s.depth == 0) {
        restore();
        s.clock.invalidate();
    }
}

void interrupt()
{
    restore();
    State& s = state();
    if (s.depth > 0)
        s.clock.start();
}

bool shown()
{
    return state().shown;
}

} // namespace Orvanta::BusyCursor
