#ifndef VANTOR_RESULTLINKS_H
#define VANTOR_RESULTLINKS_H

#include <QObject>
#include <QPoint>
#include <QString>
#include <QUrl>

#include <functional>

class QMenu;
class QWidget;
class ResultView;

// What the result text offers besides selecting: a click on a web address
// opens it, a click on an e-mail address writes to it; the context menu
// offers "Look up" for an address, prefix, domain, AS number or handle.
// A drag still selects. Also: Space and Shift+Space page, a triple click
// selects the line. Watches the view's events; the view knows nothing of it.
class ResultLinks : public QObject
{
    Q_OBJECT

public:
    struct Link
    {
        enum Kind { None, Web, Mail, Lookup } kind = None;
        QString text;     // as the reply writes it
        QUrl url;         // Web and Mail: what is opened
        qsizetype start = 0;
    };

    explicit ResultLinks(ResultView *view);

    // The link that holds position in text: a web or e-mail address first,
    // else something a lookup can take; kind None where there is neither.
    static Link linkAt(const QString &text, qsizetype position);
    Link linkAt(const QPoint &viewportPoint) const;

    // How a link is opened; QDesktopServices::openUrl unless a test says.
    void setOpener(std::function<bool(const QUrl &)> opener) { m_open = std::move(opener); }

    // The context menu for a point of the viewport; the caller owns it.
    QMenu *menuAt(const QPoint &viewportPoint, QWidget *parent);

signals:
    void lookUpRequested(const QString &query);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool mouseEvent(QEvent *event);
    bool keyEvent(QEvent *event);

    ResultView *m_view;
    std::function<bool(const QUrl &)> m_open;
    QPoint m_pressAt;
    bool m_pressed = false;  // a plain left press that may become a click
    quint64 m_doubleClickAt = 0; // the time of the last double click, for a third
    QPoint m_doubleClickPoint;
};

#endif
