// The small bar that finds text in the shown page: a field, previous and
// next, the number of matches, and a close button. The page's own finding
// does the work; the bar only asks it and shows what it says.
#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;
class QWebEnginePage;
class QWebEngineFindTextResult;

namespace Orvanta {

class FindBar : public QFrame {
    Q_OBJECT
public:
    FindBar(QWebEnginePage* page, QWidget* parent);

    QLineEdit* field() const { return m_field; }
    // "2 / 5", "沒有符合的文字", or empty before a search.
    QString countText() const;

    void findNext();
    void findPrevious();
    // Shows the bar with its field focused and selected.
    void open();
    // Hides the bar and clears the page's find highlight.
    void close();
    // While the bar is open with a text, finds it again from the top of the
    // page, which may be another page than the one it was found in.
    void refresh();

Q_SIGNALS:
    void counted(int active, int matches);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find(bool backwards);
    void showResult(const QWebEngineFindTextResult& result);

    QWebEnginePage* m_page;
    QLineEdit* m_field;
    QLabel* m_count;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_close;
};

} // namespace Orvanta
