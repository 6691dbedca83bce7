#ifndef VANTOR_HOPROW_H
#define VANTOR_HOPROW_H

#include <QList>
#include <QWidget>

#include "net/hop.h"

class QButtonGroup;
class QHBoxLayout;
class QToolButton;

// The servers a lookup asked, in order, as a row of flat buttons
// ("whois.verisign-grs.com 42 ms → whois.markmonitor.com 120 ms"). Choosing
// one shows what that server answered. A hop that got no answer says so.
// The row is hidden where there are no hops (a saved answer asks nobody).
class HopRow : public QWidget
{
    Q_OBJECT

public:
    explicit HopRow(QWidget *parent = nullptr);

    // Shows hops; the hop given by current is marked as the one shown.
    void setHops(const QList<net::HopRecord> &hops, int current);
    const QList<net::HopRecord> &hops() const { return m_hops; }
    QList<QToolButton *> buttons() const { return m_buttons; }
    int current() const { return m_current; }
    void setCurrent(int index);

    // "whois.verisign-grs.com 42 ms" and, for assistive technology,
    // "whois.verisign-grs.com, whois, 42 ms" (with ", failed" and so on).
    static QString buttonText(const net::HopRecord &hop);
    static QString accessibleText(const net::HopRecord &hop);

signals:
    void hopChosen(int index);

private:
    void clearRow();
    QWidget *focusableBefore();

    QList<net::HopRecord> m_hops;
    QList<QToolButton *> m_buttons;
    QHBoxLayout *m_layout;
    QButtonGroup *m_group;
    int m_current = -1;
};

#endif
