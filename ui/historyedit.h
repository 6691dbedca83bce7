#ifndef VANTOR_HISTORYEDIT_H
#define VANTOR_HISTORYEDIT_H

#include <QLineEdit>
#include <QStringList>

class QStringListModel;

// The address field with the queries searched before, most recent first:
// offered by a completer as the user types (any query that contains the
// typed text, in any letter case), and stepped through with Up and Down
// from an empty field.
class HistoryEdit : public QLineEdit
{
    Q_OBJECT

public:
    static constexpr int kMaxEntries = 100;

    explicit HistoryEdit(QWidget *parent = nullptr);

    QStringList history() const;
    // Replaces the list; cleaned as remember() would leave it.
    void setHistory(const QStringList &queries);
    // Puts the query, trimmed, at the front; false for a blank one, which
    // is not kept.
    bool remember(const QString &query);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void step(int by);

    QStringListModel *m_model;
    // The entry shown by Up and Down, or -1 while the user types.
    int m_step = -1;
};

#endif
