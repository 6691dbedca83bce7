#ifndef VANTOR_LINELAYOUT_H
#define VANTOR_LINELAYOUT_H

#include <QFont>
#include <QHash>
#include <QList>
#include <QString>

// Where the characters of unwrapped lines stand in a fixed-width font: ASCII
// one cell each, East Asian letters two, a letter with its combining marks
// one cluster, a tab up to the next stop. A line is measured by walking it
// from its start; a long line keeps a stop every kStride steps, so that no
// question about it walks further than that, however long the line.
class LineLayout
{
public:
    // Marks past these on one letter stay in the text, for selection, copy
    // and find, but are neither drawn nor given room: shaping a cluster of
    // millions took seconds on every paint.
    static constexpr int kMaxMarks = 32;
    static constexpr int kStride = 128;

    // One step of the walk: a character, a tab, a cluster, or hidden marks.
    struct Unit
    {
        qsizetype next = 0;
        qreal width = 0;
        bool hidden = false;
    };
    // A column of a line and its x, from the left edge of the text.
    struct Stop
    {
        qsizetype column = 0;
        qreal x = 0;
    };

    // Answers x for columns asked in rising order with one walk along the
    // line: the highlights of a line cost the part they span, not each its
    // own walk from the line start.
    class Walker
    {
    public:
        Walker(const LineLayout &layout, int line, QStringView text);
        // The x where column starts; inside a cluster, where the cluster ends.
        qreal xOf(qsizetype column);

    private:
        const LineLayout &m_layout;
        int m_line;
        QStringView m_text;
        qsizetype m_unitStart = 0;
        qsizetype m_column = 0;
        qreal m_x = 0;
    };

    void setFont(const QFont &font);
    // Measures every line of text (each starts at one of lineStarts).
    void measure(QStringView text, const QList<qsizetype> &lineStarts);

    qreal widest() const { return m_widest; }
    int lineHeight() const { return m_lineHeight; }
    qreal ascent() const { return m_ascent; }
    qreal charWidth() const { return m_charWidth; }

    // The step at i of a line whose pen is at x.
    Unit unitAt(QStringView line, qsizetype i, qreal x) const;
    // Width of a cluster as the font (or a fallback font) draws it.
    qreal glyphWidth(QStringView cluster) const;

    // The last stop of a line at or before column, or at or left of x.
    Stop stopAtColumn(int line, qsizetype column) const;
    Stop stopAtX(int line, qreal x) const;
    // The column of the first stop right of x, or the line's length.
    qsizetype columnPast(int line, QStringView text, qreal x) const;

    qreal xOf(int line, QStringView text, qsizetype column) const;
    // The column nearest x: where a click there puts the selection's end.
    qsizetype columnAt(int line, QStringView text, qreal x) const;

private:
    qreal measureLine(int line, QStringView text);

    QFont m_font;
    int m_lineHeight = 1;
    qreal m_ascent = 0;
    qreal m_charWidth = 1;
    qreal m_widest = 0;
    QHash<int, QList<Stop>> m_stops; // lines longer than a few strides only
    mutable QHash<char32_t, qreal> m_charWidths; // single characters beyond ASCII
    mutable QHash<QString, qreal> m_clusterWidths; // at most kMaxMarks marks each
};

#endif
