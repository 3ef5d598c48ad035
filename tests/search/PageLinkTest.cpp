#include "search/core/PageLink.h"

#include "support/Fixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;
namespace Fx = Orvanta::Test;

// Links in a marked copy of install/data/sub/a.htm shown from install/tmp.
TEST(PageLink, WhereALinkLeads)
{
    QTemporaryDir dir;
    const QString install = dir.path();
    for (const char* page : {"/data/sub/a.htm", "/data/sub/b.htm", "/data/c.htm", "/Help.htm"})
        Fx::writeFile(install + page, "<p>");
    const QString shown = install + "/tmp/TmpVORTAN.htm";
    const QString document = install + "/data/sub/a.htm";
    const auto fromShown = [&](const QString& href) {
        return QUrl::fromLocalFile(shown).resolved(QUrl(href));
    };

    using K = PageLink::Kind;
    struct Case {
        QUrl target;
        K kind;
        QString localPath;
        QString url;
    };
    const std::vector<Case> cases = {
        {fromShown("b.htm"), K::OpenInView, install + "/data/sub/b.htm", ""},
        {fromShown("../c.htm#part2"), K::OpenInView, install + "/data/c.htm", "#part2"},
        {fromShown("../../Help.htm"), K::OpenInView, install + "/Help.htm", ""},
        {fromShown("#note"), K::Follow, "", "#note"},
        {fromShown("a.htm#note"), K::Follow, "", "#note"},
        {fromShown("missing.htm"), K::Refuse, "", ""},
        {fromShown("../../../outside.htm"), K::Refuse, "", ""},
        {fromShown("/etc/passwd"), K::Refuse, "", ""},
        {QUrl("http://example.com/x"), K::OpenOutside, "", "http://example.com/x"},
        {QUrl("HTTPS://example.com/"), K::OpenOutside, "", "https://example.com/"},
        {QUrl("mailto:someone@example.com"), K::OpenOutside, "", "mailto:someone@example.com"},
        {QUrl("ftp://example.com/"), K::Refuse, "", ""},
        {QUrl("javascript:alert(1)"), K::Refuse, "", ""},
        {QUrl("data:text/html,<p>x"), K::Refuse, "", ""},
    };
    for (const Case& c : cases) {
        const PageLink link = resolvePageLink(c.target, shown, document, install);
        const std::string what = c.target.toString().toStdString();
        EXPECT_EQ(link.kind, c.kind) << what;
        EXPECT_EQ(link.localPath, c.localPath) << what;
        if (c.url.startsWith('#'))
            EXPECT_EQ("#" + link.url.fragment(), c.url) << what;
        else if (!c.url.isEmpty())
            EXPECT_EQ(link.url.toString(), c.url) << what;
    }
}
