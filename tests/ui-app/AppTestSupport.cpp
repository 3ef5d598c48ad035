#include "AppTestSupport.h"

#include "app/WindowLinks.h"
#include "app/startscreen/FrmIni.h"
#include "app/forms/Form.h"
#include "app/forms/ProgramEnd.h"
#include "platform/files/Paths.h"
#include "platform/ui/Launcher.h"
#include "platform/ui/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>

#include <cstdlib>

namespace Orvanta::Test {

void AppTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    folder = QDir(dir.path()).canonicalPath();
    Paths::setInstallFolderForTesting(folder);
    MessageSink::setRecorder([this](QString caption, QString text) {
        messages.push_back({caption, text});
    });
    Launcher::setLauncher([this](const QString& path) { launches << path; });
    linkWindows();
}

void AppTest::TearDown()
{
    Forms::unload<FrmIni>();
    ProgramEnd::setAction({});
    flushDeletions();
    Launcher::setLauncher({});
    MessageSink::setRecorder({});
    Paths::setInstallFolderForTesting({});
}

QString AppTest::local(const QString& name) const
{
    return folder + QLatin1Char('/') + name;
}

void AppTest::writeJpeg(const QString& name, QSize size, QColor colour) const
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(local(name), "JPG", 95));
}

void AppTest::writeBytes(const QString& name, const QByteArray& bytes) const
{
    QFile f(local(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool closeColour(QColor a, QColor b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace Orvanta::Test
