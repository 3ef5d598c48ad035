#include "tools/orvanta-build/Progress.h"

#include <QLocale>

#include <cstdio>
#include <unistd.h>

namespace Orvanta::Build {

Progress::Progress(QString what, qint64 total)
    : m_what(std::move(what)), m_total(total), m_enabled(isatty(STDERR_FILENO) == 1)
{
    m_clock.start();
}

Progress::~Progress()
{
    // An aborted run still leaves the cursor on a fresh line.
    if (m_shown && !m_finished)
        std::fputs("\n", stderr);
}

void Progress::maybeShow(qint64 done)
{
    const qint64 now = m_clock.elapsed();
    if (now < 1000 || now - m_lastShownMs < 200)
        return;
    m_lastShownMs = now;
    show(done);
}

void Progress::show(qint64 done)
{
    const QLocale c = QLocale::c();
    const double seconds = std::max<double>(m_clock.elapsed(), 1) / 1000.0;
    const QString line = QStringLiteral("\r%1: %2 / %3 (%4%), %5 per second   ")
                             .arg(m_what, c.toString(done), c.toString(m_total))
                             .arg(m_total > 0 ? int(done * 100 / m_total) : 100)
                             .arg(c.toString(qint64(done / seconds)));
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    m_shown = true;
}

void Progress::finish(qint64 done)
{
    if (m_finished)
        return;
    if (m_shown) {
        show(done);
        std::fputs("\n", stderr);
    }
    m_finished = true;
}

} // namespace Orvanta::Build
