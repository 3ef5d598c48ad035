#include "platform/ui/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

namespace Orvanta {

FindBar::FindBar(QWebEnginePage* page, QWidget* parent)
    : QFrame(parent), m_page(page), m_field(new QLineEdit(this)), m_count(new QLabel(this)),
      m_previous(new QToolButton(this)), m_next(new QToolButton(this)), m_close(new QToolButton(this))
{
    setObjectName(QStringLiteral("FindBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_field->setObjectName(QStringLiteral("FindField"));
    m_field->setPlaceholderText(QStringLiteral("尋找"));
    m_field->installEventFilter(this);
    m_count->setObjectName(QStringLiteral("FindCount"));
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("沒有符合的文字")));
    m_previous->setText(QStringLiteral("▲"));
    m_previous->setToolTip(QStringLiteral("上一個 (Shift+Enter)"));
    m_next->setText(QStringLiteral("▼"));
    m_next->setToolTip(QStringLiteral("下一個 (Enter)"));
    m_close->setText(QStringLiteral("✕"));
    m_close->setToolTip(QStringLiteral("關閉 (Esc)"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_count);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_close);

    // Finding starts as the user types, from the top of the page.
    connect(m_field, &QLineEdit::textChanged, this, [this] { find(false); });
    connect(m_previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(m_close, &QToolButton::clicked, this, &FindBar::close);
    connect(m_page, &QWebEnginePage::findTextFinished, this, &FindBar::showResult);
    hide();
}

QString FindBar::countText() const
{
    return m_count->text();
}

void FindBar::findNext()
{
    find(false);
}

void FindBar::findPrevious()
{
    find(true);
}

void FindBar::open()
{
    show();
    raise();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void FindBar::close()
{
    if (!isVisible())
        return;
    hide();
    m_page->findText(QString()); // clears the page's highlight
    m_count->clear();
}

void FindBar::refresh()
{
    if (!isVisible() || m_field->text().isEmpty())
        return;
    // The same text again would only step to its next match in the finding
    // the page has forgotten; ending that finding makes this a new one.
    m_count->clear();
    m_page->findText(QString());
    find(false);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void FindBar::find(bool backwards)
{
    const QString text = m_field->text();
    if (text.isEmpty()) {
        m_page->findText(QString());
        m_count->clear();
        Q_EMIT counted(0, 0);
        return;
    }
    m_page->findText(text, backwards ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void FindBar::showResult(const QWebEngineFindTextResult& result)
{
    if (m_field->text().isEmpty())
        return;
    if (result.numberOfMatches() == 0)
        m_count->setText(QStringLiteral("沒有符合的文字"));
    else
        m_count->setText(QStringLiteral("%1 / %2").arg(result.activeMatch()).arg(result.numberOfMatches()));
    Q_EMIT counted(result.activeMatch(), result.numberOfMatches());
}

} // namespace Orvanta
