// A progress line for long runs: count, total and rate, rewritten in place on
// the terminal. Nothing is shown when standard error is not a terminal or the
// run ends within a second, so logs and tests stay clean.
#pragma once

#include <QElapsedTimer>
#include <QString>

namespace Orvanta::Build {

class Progress {
public:
    Progress(QString what, qint64 total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Cheap enough to call once per item.
    void update(qint64 done)
    {
        if (m_enabled && (done & 63) == 0)
            maybeShow(done);
    }
    // Shows the final count and ends the line, if a line was shown.
    void finish(qint64 done);

private:
    void maybeShow(qint64 done);
    void show(qint64 done);

    QString m_what;
    qint64 m_total;
    bool m_enabled;
    bool m_shown = false;
    bool m_finished = false;
    QElapsedTimer m_clock;
    qint64 m_lastShownMs = 0;
};

} // namespace Orvanta::Build
