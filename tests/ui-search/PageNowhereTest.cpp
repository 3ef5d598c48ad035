// When neither the collection's tmp folder nor a folder of the user's own can
// take the marked page, the view stays blank and the user is told so, once
// per run, not at every row.
#include "SearchTestSupport.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/core/PrivatePage.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QLabel>

using namespace Orvanta;
using namespace Orvanta::Test;

TEST_F(SearchWindowTest, APageThatCanGoNowhereIsSaidOnce)
{
    makeCollection({
        {"甲", "data\\a.htm", "甲", "1900-01-02", "<p>甲</p>"},
        {"乙", "data\\b.htm", "甲", "1900-01-01", "<p>乙</p>"},
    });
    // A file where every folder for the page should be.
    QTemporaryDir user;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    writeFile(user.path() + "/runtime/orvanta", "not a folder");
    writeFile(user.path() + "/cache/orvanta-pages", "not a folder");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(user.path() + "/runtime"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(user.path() + "/cache"));
    writeFile(local("tmp"), "not a folder");

    FrmVelmoraMain& w = loadWindow();
    w.Grd1()->setCurrentRow(2);
    w.Grd1()->setCurrentRow(1);
    EXPECT_EQ(w.ct()->text(), counterText(1));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, PrivatePage::nowhereMessage(local("tmp")));
    EXPECT_EQ(readLocal("tmp"), QByteArray("not a folder"));

    // Once the collection takes pages again, nothing more is said.
    QFile::remove(local("tmp"));
    w.Grd1()->setCurrentRow(2);
    EXPECT_EQ(readLocal("tmp/TmpVORTAN.htm"), QByteArray("<p>\xa4\x41</p>"));
    EXPECT_EQ(messages.size(), 1u);

    for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", savedRuntime}, std::pair{"XDG_CACHE_HOME", savedCache}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}
