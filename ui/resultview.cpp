#include "ui/resultview.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 4;
constexpr int kTabColumns = 8;

bool isMark(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
           || category == QChar::Mark_Enclosing;
}

// East Asian wide and full-width letters take two columns, as in a
// terminal, so replies written for one (JPRS, KISA, CNNIC) keep their columns.
bool isWide(char32_t u)
{
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0x303E) || (u >= 0x3041 && u <= 0x33FF)
           || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xA000 && u <= 0xA4CF)
           || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F)
           || (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x1F300 && u <= 0x1F64F)
           || (u >= 0x1F900 && u <= 0x1F9FF) || (u >= 0x20000 && u <= 0x3FFFD);
}

char32_t codePointAt(QStringView line, qsizetype i)
{
    const QChar c = line.at(i);
    if (c.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(c, line.at(i + 1));
    return c.unicode();
}

bool isWordCharacter(QChar c)
{
    // What a double click should take whole in a whois reply: names,
    // addresses, prefixes, handles and e-mail addresses.
    return c.isLetterOrNumber() || QStringView(u".-_:/@").contains(c);
}

} // namespace

ResultView::ResultView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
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
    m_text = text;
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

qreal ResultView::advance(QStringView line, qsizetype i, qsizetype *next, qreal x) const
{
    const QChar c = line.at(i);
    const ushort u = c.unicode();
    if (u >= 0x20 && u < 0x7f && (i + 1 == line.size() || line.at(i + 1).unicode() < 0x300)) {
        *next = i + 1;
        return m_charWidth;
    }
    if (u == '\t') {
        *next = i + 1;
        const qreal tab = kTabColumns * m_charWidth;
        return tab - std::fmod(x, tab);
    }
    // A letter beyond ASCII with its combining marks is drawn and selected
    // as one; its width comes from the font, which may fall back to another.
    qsizetype j = i + 1;
    if (c.isHighSurrogate() && j < line.size() && line.at(j).isLowSurrogate())
        ++j;
    while (j < line.size() && isMark(line.at(j)))
        ++j;
    *next = j;
    return isWide(codePointAt(line, i)) ? 2 * m_charWidth : glyphWidth(line.mid(i, j - i));
}

qreal ResultView::glyphWidth(QStringView cluster) const
{
    const QString key = cluster.toString();
    auto it = m_widths.constFind(key);
    if (it == m_widths.constEnd())
        it = m_widths.insert(key, QFontMetricsF(font()).horizontalAdvance(key));
    return *it;
}

qreal ResultView::xOf(int line, qsizetype column) const
{
    const QStringView text = lineText(line);
    qreal x = 0;
    qsizetype next = 0;
    for (qsizetype i = 0; i < column && i < text.size(); i = next)
        x += advance(text, i, &next, x);
    return kMargin + x;
}

qsizetype ResultView::positionAt(const QPoint &point) const
{
    const int row = (point.y() - kMargin) / m_lineHeight - (point.y() < kMargin ? 1 : 0);
    const int line = std::clamp(verticalScrollBar()->value() + row, 0, lineCount() - 1);
    const QStringView text = lineText(line);
    const qreal target = point.x() + horizontalScrollBar()->value() - kMargin;
    qreal x = 0;
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.size(); i = next) {
        const qreal width = advance(text, i, &next, x);
        if (target < x + width / 2)
            return m_lineStarts.at(line) + i;
        x += width;
    }
    return m_lineStarts.at(line) + text.size();
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
    const int line = lineOf(position);
    const int rows = visibleRows();
    QScrollBar *v = verticalScrollBar();
    if (line < v->value() || line >= v->value() + rows)
        v->setValue(line - rows / 2);
    const int x = qRound(xOf(line, position - m_lineStarts.at(line)));
    QScrollBar *h = horizontalScrollBar();
    if (x < h->value() + kMargin || x > h->value() + viewport()->width() - 4 * m_charWidth)
        h->setValue(x - viewport()->width() / 3);
}

void ResultView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    m_lineHeight = std::max(1, qCeil(metrics.lineSpacing()));
    m_ascent = metrics.ascent();
    m_charWidth = std::max(qreal(1), metrics.horizontalAdvance(QLatin1Char('0')));
    m_widths.clear();
    m_widest = 0;
    for (int line = 0; line < lineCount(); ++line) {
        const QStringView text = lineText(line);
        qreal x = 0;
        qsizetype next = 0;
        for (qsizetype i = 0; i < text.size(); i = next)
            x += advance(text, i, &next, x);
        m_widest = std::max(m_widest, x);
    }
    updateScrollBars();
}

int ResultView::visibleRows() const
{
    return std::max(1, (viewport()->height() - 2 * kMargin) / m_lineHeight);
}

void ResultView::updateScrollBars()
{
    const int rows = visibleRows();
    verticalScrollBar()->setRange(0, std::max(0, lineCount() - rows));
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, qCeil(m_widest) + 2 * kMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(qCeil(2 * m_charWidth));
}

QRectF ResultView::rangeRect(int line, int top, qsizetype from, qsizetype to) const
{
    const qsizetype start = m_lineStarts.at(line);
    const qsizetype length = lineText(line).size();
    from = std::max(from, start);
    if (to <= from || from > start + length)
        return QRectF();
    // A range that takes the line end with it shows a little past the text.
    const qreal tail = to > start + length ? m_charWidth / 2 : 0;
    const int scroll = horizontalScrollBar()->value();
    const qreal left = xOf(line, from - start) - scroll;
    const qreal right = xOf(line, std::min(to, start + length) - start) - scroll + tail;
    return QRectF(left, top, right - left, m_lineHeight);
}

void ResultView::drawLine(QPainter &painter, int line, int top) const
{
    const QStringView text = lineText(line);
    const int scroll = horizontalScrollBar()->value();
    const int visibleRight = scroll + viewport()->width();
    const qreal baseline = top + m_ascent;
    QString run;
    qreal runX = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            painter.drawText(QPointF(runX, baseline), run);
        run.clear();
    };
    qreal x = 0;
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.size() && kMargin + x <= visibleRight; i = next) {
        const qreal width = advance(text, i, &next, x);
        const qreal left = kMargin + x - scroll;
        x += width;
        if (kMargin + x < scroll)
            continue;
        const QChar c = text.at(i);
        if (next == i + 1 && c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            if (run.isEmpty())
                runX = left;
            run += c;
            continue;
        }
        flush();
        if (c != QLatin1Char('\t') && c != QLatin1Char(' ')) {
            // Centred in its cells where the font's glyph is narrower or wider.
            const QStringView cluster = text.mid(i, next - i);
            const qreal inset = (width - glyphWidth(cluster)) / 2;
            painter.drawText(QPointF(left + std::max<qreal>(inset, 0), baseline), cluster.toString());
        }
    }
    flush();
}

void ResultView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette pal = palette();
    const int first = verticalScrollBar()->value();
    const int last = std::min(lineCount() - 1, first + viewport()->height() / m_lineHeight + 1);
    const qsizetype selFrom = std::min(m_anchor, m_position);
    const qsizetype selTo = std::max(m_anchor, m_position);

    // The highlights from the first that can reach the first line drawn.
    const qsizetype firstStart = first < lineCount() ? m_lineStarts.at(first) : 0;
    auto mark = std::lower_bound(m_highlights.cbegin(), m_highlights.cend(), firstStart,
                                 [](const Range &r, qsizetype at) { return r.start + r.length <= at; });
    for (int line = first; line <= last; ++line) {
        const int top = kMargin + (line - first) * m_lineHeight;
        const qsizetype lineEnd = m_lineStarts.at(line) + lineText(line).size();
        for (auto it = mark; it != m_highlights.cend() && it->start <= lineEnd; ++it) {
            const bool current = it - m_highlights.cbegin() == m_current;
            painter.fillRect(rangeRect(line, top, it->start, it->start + it->length),
                             current ? QColor(255, 150, 50) : QColor(255, 235, 120));
        }
        while (mark != m_highlights.cend() && mark->start + mark->length <= lineEnd)
            ++mark;
        painter.setPen(pal.color(QPalette::Text));
        drawLine(painter, line, top);
        const QRectF band = rangeRect(line, top, selFrom, selTo);
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

void ResultView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("Copy"), this, &ResultView::copy)->setEnabled(hasSelection());
    menu.addAction(QStringLiteral("Select All"), this, &ResultView::selectAll)->setEnabled(!m_text.isEmpty());
    menu.exec(event->globalPos());
}

void ResultView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}
