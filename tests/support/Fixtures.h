// Access to the shared fixture files and to scratch folders for tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace Orvanta::Test {

// Folder of the shared fixtures (Jet files, install folders). A test that needs
// it calls requireFixtures() first, which fails loudly when it is absent.
QString fixturesDir();
QString fixture(const QString& relative);
bool requireFixtures();

// Folder of the built programs (the Jet reader, orvanta-query, orvanta-build).
QString binDir();

// Writes bytes to a file, creating parent folders; returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// The number of the Orvanta::Error a call throws (its text into `text` when
// given), or 0 when it throws nothing.
int errorNumberOf(const std::function<void()>& call, QString* text = nullptr);

// A folder made read-only in place, as a collection on a CD or a read-only
// share is: a read-only bind mount over itself, undone on destruction. Where
// mounts are not allowed, ok() is false and error() says why.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    QByteArray m_point;
    bool m_mounted = false;
    QString m_error;
};

} // namespace Orvanta::Test
