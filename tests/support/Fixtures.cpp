#include "support/Fixtures.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>

namespace Orvanta::Test {

QString fixturesDir()
{
    return QStringLiteral(ORVANTA_FIXTURES_DIR);
}

QString fixture(const QString& relative)
{
    return fixturesDir() + QLatin1Char('/') + relative;
}

bool requireFixtures()
{
    if (QFileInfo(fixture(QStringLiteral("README.md"))).isFile())
        return true;
    ADD_FAILURE() << "The shared fixtures are missing: expected them at "
                  << fixturesDir().toStdString();
    return false;
}

QString binDir()
{
    return QStringLiteral(ORVANTA_BIN_DIR);
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(bytes);
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

int errorNumberOf(const std::function<void()>& call, QString* text)
{
    try {
        call();
    } catch (const Error& e) {
        if (text)
            *text = e.text();
        return e.number();
    }
    return 0;
}

ReadOnlyFolder::ReadOnlyFolder(const QString& folder) : m_point(QFile::encodeName(folder))
{
    if (::mount(m_point.constData(), m_point.constData(), nullptr, MS_BIND, nullptr) != 0) {
        m_error = QStringLiteral("cannot bind-mount here: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
    if (::mount(nullptr, m_point.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        m_error = QStringLiteral("cannot make the mount read-only: ") + QString::fromLocal8Bit(std::strerror(errno));
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (m_mounted)
        ::umount2(m_point.constData(), MNT_DETACH);
}

} // namespace Orvanta::Test
