// Access to the shared fixture files and to scratch folders for tests.
#pragma once

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

} // namespace Orvanta::Test
