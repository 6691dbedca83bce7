#include "ui/findbar.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton *makeButton(QWidget *parent, QStyle::StandardPixmap icon, const QString &name, const QString &keys)
{
    auto *button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    // An icon alone says nothing to a screen reader: the name does.
    button->setAccessibleName(name);
    button->setToolTip(QStringLiteral("%1 (%2)").arg(name, keys));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the field keeps the keys
    return button;
}

} // namespace

FindBar::FindBar(ResultView *view, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 2);
    layout->setSpacing(4);

    layout->addWidget(new QLabel(QStringLiteral("Find"), this));
    field = new QLineEdit(this);
    field->setPlaceholderText(QStringLiteral("Text in the result"));
    field->setAccessibleName(QStringLiteral("Find"));
    field->setClearButtonEnabled(true);
    field->setMinimumWidth(220);
    field->installEventFilter(this);
    layout->addWidget(field);
    previousButton = makeButton(this, QStyle::SP_ArrowUp, QStringLiteral("Previous match"), QStringLiteral("Shift+F3"));
    layout->addWidget(previousButton);
    nextButton = makeButton(this, QStyle::SP_ArrowDown, QStringLiteral("Next match"), QStringLiteral("F3, Enter"));
    layout->addWidget(nextButton);
    countLabel = new QLabel(this);
    countLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100000 of 100000+")));
    layout->addWidget(countLabel);
    layout->addStretch(1);
    closeButton = makeButton(this, QStyle::SP_TitleBarCloseButton, QStringLiteral("Close find"), QStringLiteral("Esc"));
    layout->addWidget(closeButton);

    connect(field, &QLineEdit::textChanged, this, [this] {
        // As the user types on, the match stays where it was if it still fits.
        search(m_current >= 0 ? m_matches.at(m_current).start : 0);
    });
    connect(previousButton, &QToolButton::clicked, this, &FindBar::previous);
    connect(nextButton, &QToolButton::clicked, this, &FindBar::next);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::dismiss);
    // A new result has no highlights; the open row finds in it at once.
    connect(m_view, &ResultView::textChanged, this, [this] {
        m_current = -1;
        if (isHidden())
            m_matches.clear();
        else
            search(0);
    });
    hide();
}

void FindBar::open()
{
    show();
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
    search(0);
}

void FindBar::dismiss()
{
    if (field->hasFocus())
        m_view->setFocus(Qt::OtherFocusReason);
    hide();
    m_matches.clear();
    m_current = -1;
    m_view->setHighlights({}, -1);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != field || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Escape && key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    // Accepting the override keeps Esc from the window's shortcut, which
    // stops a lookup: here it closes the row.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        if (key->key() == Qt::Key_Escape)
            dismiss();
        else if (key->modifiers() & Qt::ShiftModifier)
            previous();
        else
            next();
    }
    return true;
}

void FindBar::search(qsizetype from)
{
    const QString term = field->text();
    const QString text = m_view->toPlainText();
    m_matches.clear();
    m_capped = false;
    if (!term.isEmpty()) {
        for (qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(term, at + term.size(), Qt::CaseInsensitive)) {
            if (m_matches.size() == kMaxMatches) {
                m_capped = true;
                break;
            }
            m_matches.append({ at, term.size() });
        }
    }
    const auto first = std::lower_bound(m_matches.cbegin(), m_matches.cend(), from,
                                        [](const ResultView::Range &r, qsizetype at) { return r.start < at; });
    m_current = m_matches.isEmpty() ? -1 : first == m_matches.cend() ? 0 : int(first - m_matches.cbegin());
    m_view->setHighlights(m_matches, m_current);
    showCount();
}

void FindBar::go(int index)
{
    if (m_matches.isEmpty())
        return;
    const int count = matchCount();
    m_current = (index % count + count) % count;
    m_view->setHighlights(m_matches, m_current);
    showCount();
}

void FindBar::showCount()
{
    if (field->text().isEmpty())
        countLabel->clear();
    else if (m_matches.isEmpty())
        countLabel->setText(QStringLiteral("No matches"));
    else
        countLabel->setText(QStringLiteral("%1 of %2%3")
                                .arg(m_current + 1)
                                .arg(matchCount())
                                .arg(m_capped ? QStringLiteral("+") : QString()));
    countLabel->setToolTip(m_capped ? QStringLiteral("Only the first %1 matches are counted and highlighted")
                                              .arg(kMaxMatches)
                                    : QString());
}
