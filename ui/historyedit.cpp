#include "ui/historyedit.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QStringListModel>

#include <algorithm>

HistoryEdit::HistoryEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_model(new QStringListModel(this))
{
    auto *completer = new QCompleter(m_model, this);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    // "example" finds "www.example.com" too; the list keeps its order,
    // most recent first.
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setModelSorting(QCompleter::UnsortedModel);
    completer->setMaxVisibleItems(12);
    setCompleter(completer);
    // Typing leaves the history: Up then starts from the newest again.
    connect(this, &QLineEdit::textEdited, this, [this] { m_step = -1; });
}

QStringList HistoryEdit::history() const
{
    return m_model->stringList();
}

void HistoryEdit::setHistory(const QStringList &queries)
{
    QStringList kept;
    for (const QString &query : queries) {
        const QString trimmed = query.trimmed();
        if (!trimmed.isEmpty() && !kept.contains(trimmed))
            kept.append(trimmed);
        if (kept.size() == kMaxEntries)
            break;
    }
    m_model->setStringList(kept);
    m_step = -1;
}

bool HistoryEdit::remember(const QString &query)
{
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty())
        return false;
    // An earlier copy further down is dropped by setHistory().
    setHistory(QStringList{ trimmed } + history());
    return true;
}

bool HistoryEdit::event(QEvent *event)
{
    // With the list open, Esc closes the list (keyPressEvent): it is no
    // shortcut of the window's then, which would stop a lookup instead.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && completer()->popup()->isVisible()) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void HistoryEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && completer()->popup()->isVisible()) {
        completer()->popup()->hide();
        return;
    }
    const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
    const bool stepping = m_step >= 0 || text().isEmpty();
    if (plain && stepping && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        step(event->key() == Qt::Key_Up ? 1 : -1);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void HistoryEdit::step(int by)
{
    const int count = int(m_model->rowCount());
    const int next = std::clamp(m_step + by, -1, count - 1);
    if (next == m_step)
        return;
    m_step = next;
    // setText() is no edit: it neither ends the stepping nor opens the popup.
    setText(m_step < 0 ? QString() : m_model->index(m_step).data().toString());
}
