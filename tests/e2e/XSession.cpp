#include "e2e/XSession.h"

#include "e2e/ScreenGrab.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <xcb/xcb.h>

#include <sys/prctl.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace Orvanta::E2E {

void endWithParent(QProcess& process, int signal)
{
    process.setChildProcessModifier([signal] { ::prctl(PR_SET_PDEATHSIG, signal); });
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

ToolResult runTool(const QString& program, const QStringList& arguments,
                   std::chrono::milliseconds timeout, const QProcessEnvironment& environment)
{
    ToolResult result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    if (!process.waitForFinished(int(timeout.count()))) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "did not end in time";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitCode();
    result.ok = process.exitStatus() == QProcess::NormalExit;
    return result;
}

XSession::XSession(WindowManager windowManager)
{
    // -displayfd 1: the server picks a free display and writes its number to
    // standard output once it accepts connections.
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    endWithParent(m_server, SIGTERM);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (!m_server.waitForStarted(10000)) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_server.errorString();
        return;
    }
    QByteArray number;
    QDeadlineTimer deadline(20s);
    while (!number.contains('\n') && !deadline.hasExpired()
           && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(200);
        number += m_server.readAllStandardOutput();
    }
    number = number.trimmed();
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number: ")
                  + QString::fromLocal8Bit(m_server.readAllStandardError());
        return;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    if (windowManager == WindowManager::Openbox && !startWindowManager()) {
        m_display.clear();
        return;
    }
}

bool XSession::startWindowManager()
{
    endWithParent(m_windowManager, SIGTERM);
    m_windowManager.setProcessEnvironment(environment());
    m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
    m_windowManager.start(QStringLiteral("openbox"), {});
    if (!m_windowManager.waitForStarted(10000)) {
        m_error = QStringLiteral("openbox did not start: ") + m_windowManager.errorString();
        return false;
    }
    // Ready once it has announced itself on the root window.
    const bool ready = waitUntil(
        [&] {
            const ToolResult r = runTool(QStringLiteral("xprop"),
                                         {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, 10s,
                                         environment());
            return r.ok && r.out.contains("window id");
        },
        20s);
    if (!ready)
        m_error = QStringLiteral("openbox did not take over the screen: ")
                  + QString::fromLocal8Bit(m_windowManager.readAll());
    return ready;
}

XSession::~XSession()
{
    if (m_windowManager.state() != QProcess::NotRunning) {
        m_windowManager.terminate();
        if (!m_windowManager.waitForFinished(5000)) {
            m_windowManager.kill();
            m_windowManager.waitForFinished(5000);
        }
    }
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    // The test runner asks for offscreen windows; the program under test
    // must really draw on this display.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (!env.contains(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--no-sandbox --disable-gpu"));
    return env;
}

bool XSession::xdotool(const QStringList& arguments) const
{
    const ToolResult r = runTool(QStringLiteral("xdotool"), arguments, 20s, environment());
    return r.ok && r.exitCode == 0;
}

QStringList XSession::windows(const QString& namePattern) const
{
    const ToolResult r = runTool(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--name"), namePattern},
                                 20s, environment());
    if (!r.ok || r.exitCode != 0)
        return {};
    QStringList ids;
    for (const QByteArray& line : r.out.split('\n')) {
        const QByteArray id = line.trimmed();
        if (!id.isEmpty())
            ids << QString::fromLatin1(id);
    }
    return ids;
}

QString XSession::waitForWindow(const QString& namePattern, std::chrono::milliseconds timeout,
                                const QStringList& ignoring) const
{
    QString found;
    waitUntil(
        [&] {
            for (const QString& id : windows(namePattern)) {
                if (!ignoring.contains(id)) {
                    found = id;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

bool XSession::waitForNoWindow(const QString& namePattern, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return windows(namePattern).isEmpty(); }, timeout);
}

QString XSession::windowName(const QString& window) const
{
    const ToolResult r = runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window},
                                 20s, environment());
    if (!r.ok || r.exitCode != 0)
        return {};
    QByteArray name = r.out;
    if (name.endsWith('\n'))
        name.chop(1);
    return QString::fromUtf8(name);
}

bool XSession::click(const QString& window, int x, int y, int count) const
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                    QString::number(x), QString::number(y), QStringLiteral("click"),
                    QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
                    QStringLiteral("80"), QStringLiteral("1")});
}

bool XSession::key(const QString& keys) const
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40"), keys});
}

bool XSession::focus(const QString& window) const
{
    // Without a window manager activation requests go unanswered; setting
    // the input focus directly works with and without one.
    return xdotool({QStringLiteral("windowfocus"), window});
}

bool XSession::type(const QString& text) const
{
    for (const QChar c : text) {
        if (!xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"),
                      QString(c)}))
            return false;
        // The next character's remapping of the spare key must not overtake
        // this one's key press on a busy machine; a window manager reads
        // every key-map change too.
        QThread::msleep(m_windowManager.state() == QProcess::Running ? 150 : 80);
    }
    return true;
}

QRect XSession::outerGeometry(const QString& window) const
{
    // The client's rectangle from xwininfo (xdotool counts a reparented
    // window's offset twice), the frame around it from the window manager's
    // _NET_FRAME_EXTENTS (left, right, top, bottom).
    const ToolResult info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}, 10s, environment());
    const ToolResult extents = runTool(QStringLiteral("xprop"),
                                       {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")}, 10s,
                                       environment());
    if (!info.ok || info.exitCode != 0 || !extents.ok || extents.exitCode != 0)
        return {};
    QMap<QString, int> g;
    for (const QByteArray& line : info.out.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            g.insert(QString::fromLatin1(line.left(colon).trimmed()), line.mid(colon + 1).trimmed().toInt());
    }
    const QByteArray values = extents.out.mid(extents.out.indexOf('=') + 1).trimmed();
    const QList<QByteArray> e = values.split(',');
    if (e.size() != 4 || !g.contains(QStringLiteral("Width")))
        return {};
    const int left = e[0].trimmed().toInt(), right = e[1].trimmed().toInt();
    const int top = e[2].trimmed().toInt(), bottom = e[3].trimmed().toInt();
    return QRect(g.value(QStringLiteral("Absolute upper-left X")) - left,
                 g.value(QStringLiteral("Absolute upper-left Y")) - top, g.value(QStringLiteral("Width")) + left + right,
                 g.value(QStringLiteral("Height")) + top + bottom);
}

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

bool XSession::requestClose(const QString& window) const
{
    bool ok = false;
    const xcb_window_t id = window.toUInt(&ok);
    if (!ok)
        return false;
    xcb_connection_t* connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = internAtom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = internAtom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie = xcb_send_event_checked(
        connection, 0, id, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    const bool sent = error == nullptr;
    std::free(error);
    xcb_disconnect(connection);
    return sent;
}

std::optional<QString> XSession::clipboardText(std::chrono::milliseconds timeout) const
{
    xcb_connection_t* connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return std::nullopt;
    }
    // The owner answers a conversion request by writing the text into a
    // property of the asking window and telling it so.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    const xcb_atom_t property = internAtom(connection, "ORVANTA_TEST_CLIPBOARD");
    xcb_convert_selection(connection, window, internAtom(connection, "CLIPBOARD"),
                          internAtom(connection, "UTF8_STRING"), property, XCB_CURRENT_TIME);
    xcb_flush(connection);

    std::optional<QString> text;
    bool answered = false;
    waitUntil(
        [&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
                if ((event->response_type & 0x7F) == XCB_SELECTION_NOTIFY) {
                    answered = true;
                    const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
                    if (notify->property != XCB_NONE) {
                        xcb_get_property_reply_t* reply = xcb_get_property_reply(
                            connection,
                            xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                            nullptr);
                        if (reply) {
                            text = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                                                     xcb_get_property_value_length(reply));
                            std::free(reply);
                        }
                    }
                }
                std::free(event);
            }
            return answered || xcb_connection_has_error(connection);
        },
        timeout);
    xcb_destroy_window(connection, window);
    xcb_disconnect(connection);
    return text;
}

bool XSession::waitForPaint(const QString& window, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return looksPainted(windowOnScreen(window)); }, timeout);
}

QImage XSession::windowOnScreen(const QString& window) const
{
    const QRect rect = windowRect(m_display, window);
    if (rect.isEmpty())
        return {};
    const QImage screen = grabScreen(m_display);
    return screen.isNull() ? QImage() : screen.copy(rect.intersected(screen.rect()));
}

QStringList XSession::topLevels() const
{
    return viewableTopLevels(m_display);
}

bool XSession::screenshot(const QString& pngPath) const
{
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    const QImage screen = grabScreen(m_display);
    return !screen.isNull() && screen.save(pngPath, "PNG");
}

bool XSession::windowShot(const QString& window, const QString& pngPath) const
{
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    const QImage image = windowOnScreen(window);
    return !image.isNull() && image.save(pngPath, "PNG");
}

} // namespace Orvanta::E2E
