#include "PageProbe.h"

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace Orvanta::Test {

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        ADD_FAILURE() << "script did not finish: " << script.toStdString();
    return result;
}

QString bodyText(QWebEngineView& view)
{
    return evaluate(view.page(), QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

bool showsText(QWebEngineView& view, const QString& text)
{
    return QTest::qWaitFor([&] { return bodyText(view).contains(text); }, 20000);
}

bool clickElement(QWebEngineView& view, const QString& selector)
{
    QString quoted = selector;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    const QVariantList centre = evaluate(view.page(), QStringLiteral(R"((function () {
  var e = document.querySelector('%1');
  if (!e) return [];
  e.scrollIntoView({block: 'center', inline: 'center'});
  var r = e.getBoundingClientRect();
  return [r.left + r.width / 2, r.top + r.height / 2];
})())").arg(quoted)).toList();
    if (centre.size() != 2)
        return false;
    QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
    const QPoint at(qRound(centre[0].toDouble() * view.zoomFactor()), qRound(centre[1].toDouble() * view.zoomFactor()));
    QTest::mouseMove(target, at);
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

} // namespace Orvanta::Test
