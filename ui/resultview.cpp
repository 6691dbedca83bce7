#include "ui/resultview.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <QtMath>

#include <algorithm>
#include <utility>

#include "ui/resultaccessible.h"

namespace {

constexpr int kMargin = 4;

bool isWordCharacter(QChar c)
{
    // What a double click should take whole in a whois reply: names,
    // addresses, prefixes, handles and e-mail addresses; a letter's marks
    // belong to its word.
    return c.isLetterOrNumber() || c.isMark() || QStringView(u".-_:/@").contains(c);
}

} // namespace

ResultView::ResultView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    ResultAccessible::install();
    // Whois replies line their values up in columns.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_scrollTimer.setInterval(50);
    connect(&m_scrollTimer, &QTimer::timeout, this, &ResultView::autoScroll);
    m_lineStarts.append(0);
    updateMetrics();
}

void ResultView::setPlainText(const QString &text)
{
    const QString old = std::exchange(m_text, text);
    m_lineStarts.clear();
    m_lineStarts.append(0);
    for (qsizetype i = m_text.indexOf(QLatin1Char('\n')); i >= 0; i = m_text.indexOf(QLatin1Char('\n'), i + 1))
        m_lineStarts.append(i + 1);
    m_anchor = m_position = 0;
    m_highlights.clear();
    m_current = -1;
    updateMetrics();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    ResultAccessible::textReplaced(this, old);
    emit textChanged();
    emit selectionChanged();
}

QStringView ResultView::lineText(int line) const
{
    const qsizetype start = m_lineStarts.at(line);
    const qsizetype end = line + 1 < m_lineStarts.size() ? m_lineStarts.at(line + 1) - 1 : m_text.size();
    return QStringView(m_text).mid(start, end - start);
}

int ResultView::lineOf(qsizetype position) const
{
    const auto it = std::upper_bound(m_lineStarts.cbegin(), m_lineStarts.cend(), position);
    return int(it - m_lineStarts.cbegin()) - 1;
}

ResultView::Range ResultView::lineAt(qsizetype position) const
{
    const int line = lineOf(std::clamp<qsizetype>(position, 0, m_text.size()));
    return { m_lineStarts.at(line), lineText(line).size() };
}

qsizetype ResultView::positionAt(const QPoint &point) const
{
    const int row = (point.y() - kMargin) / lineHeight() - (point.y() < kMargin ? 1 : 0);
    const int line = std::clamp(verticalScrollBar()->value() + row, 0, lineCount() - 1);
    const qreal x = point.x() + horizontalScrollBar()->value() - kMargin;
    return m_lineStarts.at(line) + m_layout.columnAt(line, lineText(line), x);
}

QRect ResultView::characterRect(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, m_text.size());
    const int line = lineOf(position);
    const int top = kMargin + (line - verticalScrollBar()->value()) * lineHeight();
    LineLayout::Walker walker(m_layout, line, lineText(line));
    return rangeRect(walker, line, top, position, position + 1).toAlignedRect();
}

QString ResultView::selectedText() const
{
    const qsizetype from = std::min(m_anchor, m_position);
    return m_text.mid(from, std::max(m_anchor, m_position) - from);
}

void ResultView::setSelection(qsizetype anchor, qsizetype position)
{
    m_anchor = std::clamp<qsizetype>(anchor, 0, m_text.size());
    m_position = std::clamp<qsizetype>(position, 0, m_text.size());
    viewport()->update();
    ResultAccessible::selectionMoved(this);
    emit selectionChanged();
}

void ResultView::selectAll()
{
    setSelection(0, m_text.size());
}

void ResultView::copy()
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void ResultView::setHighlights(const QList<Range> &ranges, int current)
{
    m_highlights = ranges;
    m_current = current >= 0 && current < ranges.size() ? current : -1;
    if (m_current >= 0)
        ensureVisible(ranges.at(m_current).start);
    viewport()->update();
}

void ResultView::ensureVisible(qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, m_text.size());
    const int line = lineOf(position);
    const int rows = visibleRows();
    QScrollBar *v = verticalScrollBar();
    if (line < v->value() || line >= v->value() + rows)
        v->setValue(line - rows / 2);
    const int x = qRound(kMargin + m_layout.xOf(line, lineText(line), position - m_lineStarts.at(line)));
    QScrollBar *h = horizontalScrollBar();
    if (x < h->value() + kMargin || x > h->value() + viewport()->width() - 4 * m_layout.charWidth())
        h->setValue(x - viewport()->width() / 3);
}

void ResultView::updateMetrics()
{
    m_layout.setFont(font());
    m_layout.measure(m_text, m_lineStarts);
    updateScrollBars();
}

int ResultView::visibleRows() const
{
    return std::max(1, (viewport()->height() - 2 * kMargin) / lineHeight());
}

void ResultView::updateScrollBars()
{
    const int rows = visibleRows();
    verticalScrollBar()->setRange(0, std::max(0, lineCount() - rows));
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setSingleStep(1);
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, qCeil(m_layout.widest()) + 2 * kMargin - width));
    horizontalScrollBar()->setPageStep(width);
    horizontalScrollBar()->setSingleStep(qCeil(2 * m_layout.charWidth()));
}

QRectF ResultView::rangeRect(LineLayout::Walker &walker, int line, int top, qsizetype from, qsizetype to) const
{
    const qsizetype start = m_lineStarts.at(line);
    const qsizetype length = lineText(line).size();
    from = std::max(from, start);
    if (to <= from || from > start + length)
        return QRectF();
    // A range that takes the line end with it shows a little past the text.
    const qreal tail = to > start + length ? m_layout.charWidth() / 2 : 0;
    const qreal shift = kMargin - horizontalScrollBar()->value();
    const qreal left = walker.xOf(from - start) + shift;
    const qreal right = walker.xOf(std::min(to, start + length) - start) + shift + tail;
    return QRectF(left, top, right - left, lineHeight());
}

void ResultView::drawLine(QPainter &painter, int line, int top) const
{
    const QStringView text = lineText(line);
    // The part of the line in view, from the left edge of the text.
    const qreal viewLeft = horizontalScrollBar()->value() - kMargin;
    const qreal viewRight = viewLeft + viewport()->width();
    const qreal baseline = top + m_layout.ascent();
    QString run;
    qreal runX = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            painter.drawText(QPointF(runX, baseline), run);
        run.clear();
    };
    const LineLayout::Stop stop = m_layout.stopAtX(line, viewLeft);
    qreal x = stop.x;
    for (qsizetype i = stop.column; i < text.size() && x <= viewRight;) {
        const LineLayout::Unit unit = m_layout.unitAt(text, i, x);
        const qreal left = x - viewLeft;
        const qsizetype at = std::exchange(i, unit.next);
        x += unit.width;
        if (x < viewLeft || unit.hidden)
            continue;
        const QChar c = text.at(at);
        if (unit.next == at + 1 && c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            if (run.isEmpty())
                runX = left;
            run += c;
            continue;
        }
        flush();
        if (c != QLatin1Char('\t') && c != QLatin1Char(' ')) {
            // Centred in its cells where the font's glyph is narrower or wider.
            const QStringView cluster = text.mid(at, unit.next - at);
            const qreal inset = (unit.width - m_layout.glyphWidth(cluster)) / 2;
            painter.drawText(QPointF(left + std::max<qreal>(inset, 0), baseline), cluster.toString());
        }
    }
    flush();
}

void ResultView::drawHighlights(QPainter &painter, int line, int top) const
{
    // Only those in view: a line of a megabyte may hold 100,000.
    const QStringView text = lineText(line);
    const qsizetype start = m_lineStarts.at(line);
    const qreal viewLeft = horizontalScrollBar()->value() - kMargin;
    const qsizetype from = start + m_layout.stopAtX(line, viewLeft).column;
    const qsizetype past = m_layout.columnPast(line, text, viewLeft + viewport()->width());
    const qsizetype to = past < text.size() ? start + past : start + text.size() + 1;
    auto it = std::lower_bound(m_highlights.cbegin(), m_highlights.cend(), from,
                               [](const Range &r, qsizetype at) { return r.start + r.length <= at; });
    LineLayout::Walker walker(m_layout, line, text);
    for (; it != m_highlights.cend() && it->start < to; ++it) {
        const QRectF rect = rangeRect(walker, line, top, it->start, it->start + it->length);
        if (rect.width() > 0)
            painter.fillRect(rect, it - m_highlights.cbegin() == m_current ? QColor(255, 150, 50)
                                                                           : QColor(255, 235, 120));
    }
}

void ResultView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette pal = palette();
    const int first = verticalScrollBar()->value();
    const int last = std::min(lineCount() - 1, first + viewport()->height() / lineHeight() + 1);
    const qsizetype selFrom = std::min(m_anchor, m_position);
    const qsizetype selTo = std::max(m_anchor, m_position);
    for (int line = first; line <= last; ++line) {
        const int top = kMargin + (line - first) * lineHeight();
        drawHighlights(painter, line, top);
        painter.setPen(pal.color(QPalette::Text));
        drawLine(painter, line, top);
        LineLayout::Walker walker(m_layout, line, lineText(line));
        const QRectF band = rangeRect(walker, line, top, selFrom, selTo);
        if (!band.isEmpty()) {
            // The selected part again on top, in the selection's colours.
            painter.save();
            painter.setClipRect(band);
            painter.fillRect(band, pal.color(QPalette::Highlight));
            painter.setPen(pal.color(QPalette::HighlightedText));
            drawLine(painter, line, top);
            painter.restore();
        }
    }
}

void ResultView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ResultView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const qsizetype at = positionAt(event->position().toPoint());
    setSelection(event->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
    m_selecting = true;
    m_lastMouse = event->position().toPoint();
    m_scrollTimer.start();
}

void ResultView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    m_lastMouse = event->position().toPoint();
    setSelection(m_anchor, positionAt(m_lastMouse));
}

void ResultView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    m_selecting = false;
    m_scrollTimer.stop();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void ResultView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    qsizetype from = positionAt(event->position().toPoint());
    qsizetype to = from;
    while (from > 0 && isWordCharacter(m_text.at(from - 1)))
        --from;
    while (to < m_text.size() && isWordCharacter(m_text.at(to)))
        ++to;
    setSelection(from, to);
    m_selecting = true; // the release puts the word on the selection clipboard
}

void ResultView::autoScroll()
{
    // Dragging past an edge keeps the selection going in that direction.
    const QRect inside = viewport()->rect();
    if (inside.contains(m_lastMouse))
        return;
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    if (m_lastMouse.y() < inside.top())
        v->setValue(v->value() - 1);
    else if (m_lastMouse.y() > inside.bottom())
        v->setValue(v->value() + 1);
    if (m_lastMouse.x() < inside.left())
        h->setValue(h->value() - h->singleStep());
    else if (m_lastMouse.x() > inside.right())
        h->setValue(h->value() + h->singleStep());
    setSelection(m_anchor, positionAt(m_lastMouse));
}

void ResultView::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::SelectAll)
        return selectAll();
    if (event == QKeySequence::Copy)
        return copy();
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Home: (ctrl ? v : h)->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_End: (ctrl ? v : h)->triggerAction(QAbstractSlider::SliderToMaximum); break;
    default: event->ignore(); return;
    }
}

void ResultView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}
