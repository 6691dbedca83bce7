#include "ui/resultlinks.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyleHints>

#include "route/query.h"
#include "ui/resultview.h"

namespace {

// Characters that end a link in running text: blanks, and the quotes and
// brackets that replies put around addresses ("<abuse@example.net>").
bool isBoundary(QChar c)
{
    return c.isSpace() || QStringView(u"<>()[]{}\"'`,;|").contains(c);
}

bool isLookupKind(route::Kind kind)
{
    switch (kind) {
    case route::Kind::IPv4:
    case route::Kind::IPv6:
    case route::Kind::Cidr:
    case route::Kind::Asn:
    case route::Kind::Handle:
    case route::Kind::Domain: return true;
    default: return false;
    }
}

} // namespace

ResultLinks::ResultLinks(ResultView *view)
    : QObject(view)
    , m_view(view)
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    view->viewport()->setMouseTracking(true); // for the hand over a link
}

ResultLinks::Link ResultLinks::linkAt(const QString &text, qsizetype position)
{
    Link link;
    if (position < 0 || position >= text.size() || isBoundary(text.at(position)))
        return link;
    qsizetype from = position;
    qsizetype to = position;
    while (from > 0 && !isBoundary(text.at(from - 1)))
        --from;
    while (to < text.size() && !isBoundary(text.at(to)))
        ++to;
    // A sentence's full stop or a key's colon is no part of a link.
    while (to > from && QStringView(u".:!?").contains(text.at(to - 1)))
        --to;
    if (position >= to)
        return link;
    QString word = text.mid(from, to - from);
    const qsizetype web = word.indexOf(QRegularExpression(QStringLiteral("https?://"),
                                                           QRegularExpression::CaseInsensitiveOption));
    if (web >= 0 && position >= from + web) {
        const QUrl url(word.mid(web), QUrl::StrictMode);
        if (url.isValid() && !url.host().isEmpty())
            return { Link::Web, word.mid(web), url, from + web };
    }
    if (word.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
        word.remove(0, 7);
        from += 7;
    }
    static const QRegularExpression mail(QStringLiteral("^[\\w.%+-]+@[\\w-]+(\\.[\\w-]+)*\\.\\w{2,}$"));
    if (mail.match(word).hasMatch())
        return { Link::Mail, word, QUrl(QLatin1String("mailto:") + word), from };
    if (word.size() <= 255 && isLookupKind(route::classify(word).kind))
        return { Link::Lookup, word, QUrl(), from };
    return link;
}

ResultLinks::Link ResultLinks::linkAt(const QPoint &viewportPoint) const
{
    // positionAt() gives the nearest gap: the character under the point is
    // the one after it or the one before, or none past a line's end.
    const qsizetype gap = m_view->positionAt(viewportPoint);
    for (const qsizetype position : { gap, gap - 1 })
        if (position >= 0 && m_view->characterRect(position).contains(viewportPoint))
            return linkAt(m_view->toPlainText(), position);
    return Link();
}

QMenu *ResultLinks::menuAt(const QPoint &viewportPoint, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const Link link = linkAt(viewportPoint);
    if (link.kind == Link::Web || link.kind == Link::Mail) {
        const QUrl url = link.url;
        menu->addAction(link.kind == Link::Web ? QStringLiteral("Open Link") : QStringLiteral("Write E-mail"), this,
                        [this, url] { m_open(url); });
    } else if (link.kind == Link::Lookup) {
        const QString query = link.text;
        menu->addAction(QStringLiteral("Look up %1").arg(query), this, [this, query] { emit lookUpRequested(query); });
    }
    if (link.kind != Link::None)
        menu->addSeparator();
    menu->addAction(QStringLiteral("Copy"), m_view, &ResultView::copy)->setEnabled(m_view->hasSelection());
    menu->addAction(QStringLiteral("Select All"), m_view, &ResultView::selectAll)
        ->setEnabled(!m_view->toPlainText().isEmpty());
    return menu;
}

bool ResultLinks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view)
        return event->type() == QEvent::KeyPress && keyEvent(event);
    if (event->type() == QEvent::ContextMenu) {
        auto *e = static_cast<QContextMenuEvent *>(event);
        QMenu *menu = menuAt(e->pos(), m_view);
        menu->exec(e->globalPos());
        delete menu;
        return true;
    }
    return mouseEvent(event);
}

bool ResultLinks::keyEvent(QEvent *event)
{
    auto *e = static_cast<QKeyEvent *>(event);
    if (e->key() != Qt::Key_Space || (e->modifiers() & ~Qt::ShiftModifier))
        return false;
    const bool up = e->modifiers() & Qt::ShiftModifier;
    m_view->verticalScrollBar()->triggerAction(up ? QAbstractSlider::SliderPageStepSub
                                                  : QAbstractSlider::SliderPageStepAdd);
    return true;
}

bool ResultLinks::mouseEvent(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseMove
        && type != QEvent::MouseButtonDblClick)
        return false;
    auto *e = static_cast<QMouseEvent *>(event);
    const QPoint at = e->position().toPoint();
    const int slack = QApplication::startDragDistance();
    if (type == QEvent::MouseMove) {
        const Link::Kind kind = linkAt(at).kind;
        const bool opens = kind == Link::Web || kind == Link::Mail;
        m_view->viewport()->setCursor(opens && !(e->buttons() & Qt::LeftButton) ? Qt::PointingHandCursor
                                                                                 : Qt::IBeamCursor);
        if ((at - m_pressAt).manhattanLength() >= slack)
            m_pressed = false; // a drag: it selects, and opens nothing
        return false;
    }
    if (e->button() != Qt::LeftButton)
        return false;
    if (type == QEvent::MouseButtonDblClick) {
        m_pressed = false; // the first click opened it already, if it was a link
        m_doubleClickAt = e->timestamp();
        m_doubleClickPoint = at;
        return false;
    }
    if (type == QEvent::MouseButtonPress) {
        const bool third = m_doubleClickAt != 0
                           && e->timestamp() - m_doubleClickAt <= quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval())
                           && (at - m_doubleClickPoint).manhattanLength() < slack;
        m_doubleClickAt = 0;
        if (third) {
            const ResultView::Range line = m_view->lineAt(m_view->positionAt(at));
            m_view->setSelection(line.start, line.start + line.length);
            return true;
        }
        m_pressed = e->modifiers() == Qt::NoModifier;
        m_pressAt = at;
        return false;
    }
    // The release: a click that did not move opens what is under it.
    const bool click = m_pressed && (at - m_pressAt).manhattanLength() < slack;
    m_pressed = false;
    if (click) {
        const Link link = linkAt(at);
        if (link.kind == Link::Web || link.kind == Link::Mail)
            m_open(link.url);
    }
    return false;
}
