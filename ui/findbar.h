#ifndef VANTOR_FINDBAR_H
#define VANTOR_FINDBAR_H

#include <QList>
#include <QWidget>

#include "ui/resultview.h"

class QLabel;
class QLineEdit;
class QToolButton;

// A row below the result that finds text in it as the user types, in any
// letter case: every match is highlighted, the current one apart and in
// view, and the row counts them ("3 of 12"). Enter and the arrows go to the
// next or previous match, wrapping around; Esc in the field closes the row.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    // A search for "e" in a 4 MiB reply would otherwise keep millions.
    static constexpr int kMaxMatches = 100000;

    explicit FindBar(ResultView *view, QWidget *parent = nullptr);

    // Shows the row, the field focused with its text selected, and searches again.
    void open();
    // Hides the row and takes the highlights off.
    void dismiss();
    void next() { go(m_current + 1); }
    void previous() { go(m_current - 1); }

    int matchCount() const { return int(m_matches.size()); }
    int current() const { return m_current; }

    // Public so that tests can drive the row as a user would.
    QLineEdit *field;
    QLabel *countLabel;
    QToolButton *previousButton;
    QToolButton *nextButton;
    QToolButton *closeButton;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Finds every match; the current one is the first that starts at or after from.
    void search(qsizetype from);
    void go(int index);
    void showCount();

    ResultView *m_view;
    QList<ResultView::Range> m_matches;
    int m_current = -1;
    bool m_capped = false; // more matches than kMaxMatches
};

#endif
