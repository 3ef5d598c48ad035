// A private X server (Xvfb) for one test, with or without a window manager,
// and the user's hands and eyes on it: xdotool for the mouse and the
// keyboard, the server's own screen contents for screenshots, and the close
// request a window manager sends when the user clicks a window's close box.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <functional>

namespace Orvanta::E2E {

using namespace std::chrono_literals;

// Makes a child process end with the test process, even when the test
// process dies without cleaning up (a crash, a kill by the test runner).
void endWithParent(QProcess& process, int signal);

// Polls `condition` every 100 ms until it holds or `timeout` has passed.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Runs a helper program to its end; returns its standard output, or an empty
// result with ok == false when it failed or did not end within `timeout`.
struct ToolResult {
    bool ok = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ToolResult runTool(const QString& program, const QStringList& arguments,
                   std::chrono::milliseconds timeout = 20s,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

class XSession {
public:
    enum class WindowManager { None, Openbox };

    // Starts Xvfb on a free display, and the window manager on it when one is
    // asked for; started() tells whether that worked, error() why not.
    explicit XSession(WindowManager windowManager = WindowManager::None);
    ~XSession(); // stops the window manager and the server

    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool started() const { return !m_display.isEmpty(); }
    QString error() const { return m_error; }
    QString display() const { return m_display; }

    // The environment for programs shown on this display.
    QProcessEnvironment environment() const;

    // Ids of the windows whose name matches the regular expression (xdotool's
    // matching), in stacking order.
    QStringList windows(const QString& namePattern) const;
    // Waits for exactly one more matching window than `ignoring` holds;
    // returns its id or "" after the timeout.
    QString waitForWindow(const QString& namePattern, std::chrono::milliseconds timeout = 20s,
                          const QStringList& ignoring = {}) const;
    bool waitForNoWindow(const QString& namePattern, std::chrono::milliseconds timeout = 10s) const;
    QString windowName(const QString& window) const;

    // Input, as the user gives it.
    bool xdotool(const QStringList& arguments) const;
    bool click(const QString& window, int x, int y, int count = 1) const; // client pixels
    bool key(const QString& keys) const;      // e.g. "Return", "alt+Down"
    bool focus(const QString& window) const;
    // Types text one character at a time: xdotool maps each character to a
    // spare key code, and a long run of them may outpace the client's view of
    // the key map.
    bool type(const QString& text) const;

    // The text of the clipboard (as Ctrl+C left it), or nothing when no
    // program owns the clipboard or it does not answer in time.
    std::optional<QString> clipboardText(std::chrono::milliseconds timeout = 5s) const;

    // The close request of a window manager (WM_DELETE_WINDOW); the program
    // sees exactly what a click on the close box gives it.
    bool requestClose(const QString& window) const;

    // Waits until the screen shows a window drawn, more than a black or flat
    // area: a window is mapped before the program has drawn it.
    bool waitForPaint(const QString& window, std::chrono::milliseconds timeout = 10s) const;
    // The window as the screen shows it now; null when it is not there.
    QImage windowOnScreen(const QString& window) const;
    // Top-level windows on screen now, bottom first (see ScreenGrab.h).
    QStringList topLevels() const;

    // The outer rectangle of a top-level window, the window manager's frame
    // included, in screen pixels; empty when it cannot be read.
    QRect outerGeometry(const QString& window) const;

    // Saves the whole screen as a PNG file.
    bool screenshot(const QString& pngPath) const;
    // Saves the part of the screen that shows one window as a PNG file.
    bool windowShot(const QString& window, const QString& pngPath) const;

private:
    bool startWindowManager();

    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    QString m_error;
};

} // namespace Orvanta::E2E
