// One main for every test program: GUI tests get a QApplication (offscreen
// unless a display is asked for), the others a QCoreApplication, so that
// Qt's notion of the program's folder works everywhere.
#include <gtest/gtest.h>

#ifdef ORVANTA_GUI_TEST
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtWebEngineWidgets/QtWebEngineWidgets>
#else
#include <QCoreApplication>
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef ORVANTA_GUI_TEST
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The windows remember the reader's choices; a test never reads or
    // changes the real ones (a test of its own may set another folder).
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
