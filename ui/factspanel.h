#ifndef VANTOR_FACTSPANEL_H
#define VANTOR_FACTSPANEL_H

#include <QColor>
#include <QDateTime>
#include <QWidget>

#include <functional>

#include "analysis/facts.h"

class QGridLayout;
class QLabel;
class QPalette;

// What a reply says, as a compact grid of labels and values (in two
// columns) above the result: registrar, dates, holder, abuse contact, prefixes. Values can be
// selected and copied; one with several parts (name servers, status codes)
// shows a line for each. The panel hides itself when a reply gives no facts.
class FactsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit FactsPanel(QWidget *parent = nullptr);

    void setFacts(const analysis::Facts &facts);
    const analysis::Facts &facts() const { return m_facts; }
    // Hidden by the user: stays hidden whatever the reply gives.
    void setWanted(bool wanted);
    bool wanted() const { return m_wanted; }

    // Where "now" comes from for the expiry note; tests set a fixed time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // The value labels, one for each fact, in the panel's order.
    QList<QLabel *> valueLabels() const { return m_values; }

    // The colour of an expiry note on this palette's window: a warning
    // orange or an error red, darkened or lightened until it reads well
    // (contrast ratio 4.5 or more); the text colour where nothing is urgent.
    static QColor urgencyColour(analysis::ExpiryUrgency urgency, const QPalette &palette);
    // The contrast ratio of two colours, 1 (none) to 21 (black on white).
    static double contrastRatio(const QColor &a, const QColor &b);

protected:
    void changeEvent(QEvent *event) override;

private:
    void rebuild();
    void clearGrid();
    QLabel *addRow(QGridLayout *grid, int row, const analysis::Fact &fact);

    analysis::Facts m_facts;
    QGridLayout *m_grids[2];
    QList<QLabel *> m_values;
    bool m_wanted = true;
    bool m_rebuilding = false;
    std::function<QDateTime()> m_clock;
};

#endif
