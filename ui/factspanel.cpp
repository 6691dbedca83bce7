#include "ui/factspanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

double luminance(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QColor mixed(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * share),
                            float(a.greenF() + (b.greenF() - a.greenF()) * share),
                            float(a.blueF() + (b.blueF() - a.blueF()) * share));
}

} // namespace

FactsPanel::FactsPanel(QWidget *parent)
    : QWidget(parent)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    // Two grids side by side, so that a long list of status codes or name
    // servers leaves the result its room.
    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(2, 4, 2, 4);
    columns->setSpacing(24);
    for (QGridLayout *&grid : m_grids) {
        grid = new QGridLayout;
        grid->setHorizontalSpacing(12);
        grid->setVerticalSpacing(1);
        grid->setColumnStretch(1, 1);
        columns->addLayout(grid, 1);
        columns->setAlignment(grid, Qt::AlignTop); // the shorter column's rows at the top too
    }
    setAccessibleName(QStringLiteral("Facts"));
    hide();
}

double FactsPanel::contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor FactsPanel::urgencyColour(analysis::ExpiryUrgency urgency, const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    if (urgency == analysis::ExpiryUrgency::None)
        return text;
    // Qt's palettes have no warning role: a fixed hue, moved towards the
    // text colour (dark on light, light on dark) until it can be read.
    const QColor hue = urgency == analysis::ExpiryUrgency::Past ? QColor(0xd0, 0x20, 0x20) : QColor(0xe0, 0x80, 0x00);
    const QColor back = palette.color(QPalette::Window);
    const QColor toward = luminance(back) > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
    for (double share = 0; share < 1.0; share += 0.05) {
        const QColor c = mixed(hue, toward, share);
        if (contrastRatio(c, back) >= 4.5)
            return c;
    }
    return text;
}

void FactsPanel::setFacts(const analysis::Facts &facts)
{
    m_facts = facts;
    rebuild();
}

void FactsPanel::setWanted(bool wanted)
{
    m_wanted = wanted;
    setVisible(m_wanted && !m_facts.isEmpty());
}

void FactsPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A new theme needs the expiry note's colour made again.
    if (event->type() == QEvent::PaletteChange && !m_rebuilding)
        rebuild();
}

void FactsPanel::clearGrid()
{
    for (QGridLayout *grid : m_grids)
        while (QLayoutItem *item = grid->takeAt(0)) {
            delete item->widget();
            delete item;
        }
    m_values.clear();
}

void FactsPanel::rebuild()
{
    m_rebuilding = true;
    clearGrid();
    // The left column takes facts until it holds half of the lines.
    qsizetype lines = 0;
    for (const analysis::Fact &fact : std::as_const(m_facts.items))
        lines += std::max<qsizetype>(1, fact.values.size());
    qsizetype left = 0;
    int row = 0;
    QGridLayout *grid = m_grids[0];
    for (const analysis::Fact &fact : std::as_const(m_facts.items)) {
        if (grid == m_grids[0] && left > 0 && 2 * left >= lines) {
            grid = m_grids[1];
            row = 0;
        }
        left += std::max<qsizetype>(1, fact.values.size());
        m_values.append(addRow(grid, row++, fact));
    }
    setVisible(m_wanted && !m_facts.isEmpty());
    m_rebuilding = false;
}

QLabel *FactsPanel::addRow(QGridLayout *grid, int row, const analysis::Fact &fact)
{
    auto *name = new QLabel(fact.label + QLatin1Char(':'), this);
    name->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QString text = fact.values.join(QLatin1Char('\n'));
    auto *value = new QLabel(this);
    value->setTextFormat(Qt::PlainText); // a server's words are never markup
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    value->setFocusPolicy(Qt::ClickFocus); // Tab goes on to the result; screen readers read the grid
    if (fact.name == QLatin1String("expires") && m_facts.expires.isValid()) {
        analysis::ExpiryUrgency urgency = analysis::ExpiryUrgency::None;
        text += QLatin1String(" (") + analysis::expiryNote(m_facts.expires, m_clock(), &urgency)
                + QLatin1Char(')');
        if (urgency != analysis::ExpiryUrgency::None) {
            QPalette p = value->palette();
            p.setColor(QPalette::WindowText, urgencyColour(urgency, palette()));
            value->setPalette(p);
        }
    }
    value->setText(text);
    // Read out as "Registrar: MarkMonitor Inc.", the label as the name.
    value->setAccessibleName(fact.label);
    value->setAccessibleDescription(text);
    name->setBuddy(value);
    grid->addWidget(name, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}
