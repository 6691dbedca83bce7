#include "ui/linelayout.h"

#include <QFontMetricsF>

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTabColumns = 8;
// Lines up to this long are walked from their start; they keep no stops.
constexpr qsizetype kLongLine = 4 * LineLayout::kStride;

bool isMark(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x300)
        return false;
    if (u < 0x370) // the common accents, without a table look-up
        return true;
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

} // namespace

void LineLayout::setFont(const QFont &font)
{
    m_font = font;
    const QFontMetricsF metrics(font);
    m_lineHeight = std::max(1, qCeil(metrics.lineSpacing()));
    m_ascent = metrics.ascent();
    m_charWidth = std::max(qreal(1), metrics.horizontalAdvance(QLatin1Char('0')));
    m_charWidths.clear();
    m_clusterWidths.clear();
}

void LineLayout::measure(QStringView text, const QList<qsizetype> &lineStarts)
{
    m_stops.clear();
    m_widest = 0;
    for (int line = 0; line < lineStarts.size(); ++line) {
        const qsizetype start = lineStarts.at(line);
        const qsizetype end = line + 1 < lineStarts.size() ? lineStarts.at(line + 1) - 1 : text.size();
        m_widest = std::max(m_widest, measureLine(line, text.mid(start, end - start)));
    }
}

qreal LineLayout::measureLine(int line, QStringView text)
{
    const bool keep = text.size() > kLongLine;
    QList<Stop> stops;
    qreal x = 0;
    qsizetype steps = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (keep && steps++ % kStride == 0)
            stops.append({ i, x });
        const Unit unit = unitAt(text, i, x);
        x += unit.width;
        i = unit.next;
    }
    if (keep)
        m_stops.insert(line, stops);
    return x;
}

LineLayout::Unit LineLayout::unitAt(QStringView line, qsizetype i, qreal x) const
{
    const QChar c = line.at(i);
    const char16_t u = c.unicode();
    if (u >= 0x20 && u < 0x7f && (i + 1 == line.size() || line.at(i + 1).unicode() < 0x300))
        return { i + 1, m_charWidth, false };
    if (u == '\t') {
        const qreal tab = kTabColumns * m_charWidth;
        return { i + 1, tab - std::fmod(x, tab), false };
    }
    qsizetype j = i + 1;
    if (isMark(c) && i > 0 && isMark(line.at(i - 1))) {
        // A mark after a mark starts a step only where a cluster reached its limit.
        while (j < line.size() && j - i < kMaxMarks && isMark(line.at(j)))
            ++j;
        return { j, 0, true };
    }
    // A letter beyond ASCII with its combining marks is drawn and selected
    // as one; its width comes from the font, which may fall back to another.
    if (c.isHighSurrogate() && j < line.size() && line.at(j).isLowSurrogate())
        ++j;
    const qsizetype limit = j + kMaxMarks;
    while (j < line.size() && j < limit && isMark(line.at(j)))
        ++j;
    const char32_t first = codePointAt(line, i);
    return { j, isWide(first) ? 2 * m_charWidth : glyphWidth(line.mid(i, j - i)), false };
}

qreal LineLayout::glyphWidth(QStringView cluster) const
{
    // One character is looked up without making a string: a reply in
    // Cyrillic or Greek has millions of them.
    const bool single = cluster.size() == 1 || (cluster.size() == 2 && cluster.at(0).isHighSurrogate());
    if (single) {
        const char32_t u = codePointAt(cluster, 0);
        auto it = m_charWidths.constFind(u);
        if (it == m_charWidths.constEnd())
            it = m_charWidths.insert(u, QFontMetricsF(m_font).horizontalAdvance(cluster.toString()));
        return *it;
    }
    const QString key = cluster.toString();
    auto it = m_clusterWidths.constFind(key);
    if (it == m_clusterWidths.constEnd())
        it = m_clusterWidths.insert(key, QFontMetricsF(m_font).horizontalAdvance(key));
    return *it;
}

LineLayout::Stop LineLayout::stopAtColumn(int line, qsizetype column) const
{
    const auto found = m_stops.constFind(line);
    if (found == m_stops.constEnd())
        return {};
    const auto it = std::upper_bound(found->cbegin(), found->cend(), column,
                                     [](qsizetype c, const Stop &s) { return c < s.column; });
    return it == found->cbegin() ? Stop() : *(it - 1);
}

LineLayout::Stop LineLayout::stopAtX(int line, qreal x) const
{
    const auto found = m_stops.constFind(line);
    if (found == m_stops.constEnd())
        return {};
    const auto it = std::upper_bound(found->cbegin(), found->cend(), x,
                                     [](qreal at, const Stop &s) { return at < s.x; });
    return it == found->cbegin() ? Stop() : *(it - 1);
}

qsizetype LineLayout::columnPast(int line, QStringView text, qreal x) const
{
    const auto found = m_stops.constFind(line);
    if (found == m_stops.constEnd())
        return text.size();
    const auto it = std::upper_bound(found->cbegin(), found->cend(), x,
                                     [](qreal at, const Stop &s) { return at < s.x; });
    return it == found->cend() ? text.size() : it->column;
}

qreal LineLayout::xOf(int line, QStringView text, qsizetype column) const
{
    return Walker(*this, line, text).xOf(column);
}

qsizetype LineLayout::columnAt(int line, QStringView text, qreal x) const
{
    // Steps that end left of the stop end left of x: none is nearer.
    const Stop stop = stopAtX(line, x);
    qreal left = stop.x;
    for (qsizetype i = stop.column; i < text.size();) {
        const Unit unit = unitAt(text, i, left);
        if (!unit.hidden && x < left + unit.width / 2)
            return i;
        left += unit.width;
        i = unit.next;
    }
    return text.size();
}

LineLayout::Walker::Walker(const LineLayout &layout, int line, QStringView text)
    : m_layout(layout)
    , m_line(line)
    , m_text(text)
{
}

qreal LineLayout::Walker::xOf(qsizetype column)
{
    column = std::clamp<qsizetype>(column, 0, m_text.size());
    if (column > m_unitStart && column <= m_column)
        return m_x; // within the last step, or at its end
    const Stop stop = m_layout.stopAtColumn(m_line, column);
    if (column < m_column || stop.column > m_column) {
        m_unitStart = m_column = stop.column;
        m_x = stop.x;
    }
    while (m_column < column) {
        const Unit unit = m_layout.unitAt(m_text, m_column, m_x);
        m_unitStart = m_column;
        m_x += unit.width;
        m_column = unit.next;
    }
    return m_x;
}
