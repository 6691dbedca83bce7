#include "ui/hoprow.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

HopRow::HopRow(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
    , m_group(new QButtonGroup(this))
{
    m_layout->setContentsMargins(0, 2, 0, 2);
    m_layout->setSpacing(2);
    // Plain buttons, not toggles: assistive technology announces a button,
    // and the one shown is marked by its bold text.
    m_group->setExclusive(false);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int index) {
        setCurrent(index);
        emit hopChosen(index);
    });
    setAccessibleName(QStringLiteral("Servers asked"));
    hide();
}

QString HopRow::buttonText(const net::HopRecord &hop)
{
    QString text = hop.server + QLatin1Char(' ') + QString::number(hop.ms) + QLatin1String(" ms");
    if (hop.outcome != net::HopRecord::Outcome::Answered)
        text += QLatin1String(" (") + net::outcomeName(hop.outcome) + QLatin1Char(')');
    return text;
}

QString HopRow::accessibleText(const net::HopRecord &hop)
{
    QString text = hop.server + QLatin1String(", ") + hop.protocol + QLatin1String(", ") + QString::number(hop.ms)
                   + QLatin1String(" ms");
    if (hop.outcome != net::HopRecord::Outcome::Answered)
        text += QLatin1String(", ") + net::outcomeName(hop.outcome);
    return text;
}

void HopRow::setCurrent(int index)
{
    m_current = index >= 0 && index < m_buttons.size() ? index : -1;
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        QFont f = m_buttons.at(i)->font();
        f.setBold(i == m_current);
        m_buttons.at(i)->setFont(f);
        m_buttons.at(i)->setAccessibleDescription(i == m_current ? QStringLiteral("shown") : QString());
    }
}

QWidget *HopRow::focusableBefore()
{
    // New buttons would come last on Tab; they belong where the row is, after
    // the last widget before it that takes the focus (setTabOrder() ignores
    // one that takes none, like this row itself).
    for (QWidget *w = previousInFocusChain(); w && w != this; w = w->previousInFocusChain())
        if (w->focusPolicy() != Qt::NoFocus && !isAncestorOf(w))
            return w;
    return nullptr;
}

void HopRow::clearRow()
{
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_buttons.clear();
}

void HopRow::setHops(const QList<net::HopRecord> &hops, int current)
{
    clearRow();
    m_hops = hops;
    for (qsizetype i = 0; i < hops.size(); ++i) {
        const net::HopRecord &hop = hops.at(i);
        if (i > 0) {
            auto *arrow = new QLabel(QStringLiteral("\u2192"), this);
            arrow->setAccessibleName(QStringLiteral("then")); // no screen reader says "right arrow" well
            m_layout->addWidget(arrow);
        }
        auto *button = new QToolButton(this);
        button->setText(buttonText(hop));
        button->setAccessibleName(accessibleText(hop));
        button->setToolTip(hop.protocol == QLatin1String("rdap") ? QStringLiteral("RDAP") : QStringLiteral("whois"));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::StrongFocus); // reached by Tab, not only clicked
        if (hop.outcome != net::HopRecord::Outcome::Answered) {
            // Set apart from the answered ones at a glance; the word after
            // the time says what went wrong.
            QFont f = button->font();
            f.setItalic(true);
            button->setFont(f);
        }
        if (QWidget *before = m_buttons.isEmpty() ? focusableBefore() : m_buttons.last())
            QWidget::setTabOrder(before, button);
        m_group->addButton(button, int(i));
        m_buttons.append(button);
        m_layout->addWidget(button);
    }
    m_layout->addStretch(1);
    setCurrent(current);
    setVisible(!hops.isEmpty());
}
