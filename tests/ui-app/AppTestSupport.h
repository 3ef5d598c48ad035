// Shared set-up of the program-frame tests: a scratch install folder, the
// message box and browser launch recorded instead of shown, and every window
// unloaded and destroyed afterwards.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Orvanta::Test {

struct RecordedMessage {
    QString caption;
    QString text;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Path of a file in the scratch install folder.
    QString local(const QString& name) const;
    // A real JPEG of the given size and colour.
    void writeJpeg(const QString& name, QSize size, QColor colour) const;
    void writeBytes(const QString& name, const QByteArray& bytes) const;

    QTemporaryDir dir;
    QString folder;
    std::vector<RecordedMessage> messages;
    QStringList launches;
};

// Lets pending deferred deletions happen.
void flushDeletions();

// Average colour distance check for lossy pictures.
bool closeColour(QColor a, QColor b, int tolerance = 24);

} // namespace Orvanta::Test
