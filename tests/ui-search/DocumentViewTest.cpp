// The document view with the real web engine: every navigation shows the
// file as it is on disk now, Big5 without a declaration, and a blank page for
// a missing file.
#include "PageProbe.h"
#include "platform/text/Cp950.h"
#include "platform/ui/DocumentView.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

// Waits for the next load to finish; returns its success flag.
bool waitForLoad(DocumentView& view, QSignalSpy& finished)
{
    if (finished.isEmpty() && !finished.wait(30000))
        return false;
    const bool ok = finished.takeFirst().at(0).toBool();
    return ok;
}

QVariant evaluate(DocumentView& view, const QString& script)
{
    return Orvanta::Test::evaluate(view.page(), script);
}

// A system path ("\" separators) for a platform path.
QString systemPath(const QString& local)
{
    QString p = local;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p;
}

} // namespace

TEST(DocumentView, EveryNavigationShowsTheFileAsItIsNow)
{
    QTemporaryDir dir;
    const QString page = QDir(dir.path()).filePath(QStringLiteral("page.htm"));
    DocumentView view;
    view.resize(400, 300);
    view.show();
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);

    Orvanta::Test::writeFile(page, "<html><body><p id=t>first</p></body></html>");
    view.navigate(systemPath(page));
    ASSERT_TRUE(waitForLoad(view, finished));
    EXPECT_EQ(evaluate(view, "document.getElementById('t').textContent").toString(), QStringLiteral("first"));

    for (const char* text : {"second", "third"}) {
        Orvanta::Test::writeFile(page, QByteArray("<html><body><p id=t>") + text + "</p></body></html>");
        view.navigate(systemPath(page));
        ASSERT_TRUE(waitForLoad(view, finished));
        EXPECT_EQ(evaluate(view, "document.getElementById('t').textContent").toString(), QString::fromLatin1(text))
            << "same path, new content";
    }
    EXPECT_EQ(view.locationPath(), systemPath(page));
}

TEST(DocumentView, PageWithoutDeclarationIsReadAsBig5)
{
    QTemporaryDir dir;
    const QString page = QDir(dir.path()).filePath(QStringLiteral("big5.htm"));
    Orvanta::Test::writeFile(page, "<html><body><p id=t>" + Cp950::encode(QStringLiteral("人參甘草")) + "</p></body></html>");
    DocumentView view;
    view.show();
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.navigate(systemPath(page));
    ASSERT_TRUE(waitForLoad(view, finished));
    EXPECT_EQ(evaluate(view, "document.getElementById('t').textContent").toString(), QStringLiteral("人參甘草"));
}

TEST(DocumentView, MissingFileShowsABlankPage)
{
    QTemporaryDir dir;
    DocumentView view;
    view.show();
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.navigate(systemPath(QDir(dir.path()).filePath(QStringLiteral("nothing.htm"))));
    waitForLoad(view, finished);
    EXPECT_EQ(evaluate(view, "document.body ? document.body.innerText : ''").toString().trimmed(), QString())
        << "no error page";
}
