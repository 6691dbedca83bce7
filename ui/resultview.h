#ifndef VANTOR_RESULTVIEW_H
#define VANTOR_RESULTVIEW_H

#include <QAbstractScrollArea>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>

// A read-only view of a lookup's text. A reply may hold millions of short
// lines; a text document spends seconds and hundreds of megabytes on them,
// this view a line index. The user selects with the mouse, copies and
// selects all; found words can be highlighted. Lines are never wrapped.
class ResultView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    struct Range
    {
        qsizetype start = 0;
        qsizetype length = 0;
    };

    explicit ResultView(QWidget *parent = nullptr);

    void setPlainText(const QString &text);
    QString toPlainText() const { return m_text; }
    int lineCount() const { return int(m_lineStarts.size()); }

    bool hasSelection() const { return m_anchor != m_position; }
    QString selectedText() const;
    // Selects the characters from anchor to position (either order).
    void setSelection(qsizetype anchor, qsizetype position);

    // Marks ranges of the text, in text order; current is drawn apart and
    // scrolled into view (-1 for none).
    void setHighlights(const QList<Range> &ranges, int current);
    const QList<Range> &highlights() const { return m_highlights; }
    int currentHighlight() const { return m_current; }

public slots:
    void selectAll();
    void copy();
    void clear() { setPlainText(QString()); }

signals:
    void textChanged();
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QStringView lineText(int line) const;
    int lineOf(qsizetype position) const;
    // Width of the character or cluster at i of a line whose pen is at x.
    qreal advance(QStringView line, qsizetype i, qsizetype *next, qreal x) const;
    qreal glyphWidth(QStringView cluster) const;
    qreal xOf(int line, qsizetype column) const;
    qsizetype positionAt(const QPoint &point) const;
    void drawLine(QPainter &painter, int line, int top) const;
    // Where the part from..to of a line drawn at top shows, or an empty rect.
    QRectF rangeRect(int line, int top, qsizetype from, qsizetype to) const;
    int visibleRows() const;
    void updateMetrics();
    void updateScrollBars();
    void ensureVisible(qsizetype position);
    void autoScroll();

    QString m_text;
    QList<qsizetype> m_lineStarts;
    qreal m_widest = 0;
    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
    QList<Range> m_highlights;
    int m_current = -1;
    bool m_selecting = false;
    QPoint m_lastMouse;
    QTimer m_scrollTimer;

    int m_lineHeight = 1;
    qreal m_ascent = 0;
    qreal m_charWidth = 1;
    mutable QHash<QString, qreal> m_widths; // clusters beyond ASCII
};

#endif
