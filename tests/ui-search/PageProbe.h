// Looking into the page on screen and acting on it as the user does. The
// page's own scripts do not run, so what a test asks of the page runs in the
// program's own world of scripts; a link is followed by a real click of the
// mouse on it, the way only the user can.
#pragma once

#include <QString>
#include <QVariant>

class QWebEnginePage;
class QWebEngineView;

namespace Orvanta::Test {

// The value of `script` in the page (its last expression); fails the test
// when it does not finish.
QVariant evaluate(QWebEnginePage* page, const QString& script);

// The text of the page's body; empty before there is one.
QString bodyText(QWebEngineView& view);

// Waits until the page's text holds `text`.
bool showsText(QWebEngineView& view, const QString& text);

// Clicks the middle of the first element that `selector` finds, with the
// mouse, as the user would; false when there is no such element.
bool clickElement(QWebEngineView& view, const QString& selector);

} // namespace Orvanta::Test
