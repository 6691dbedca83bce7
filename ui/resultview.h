#ifndef VANTOR_RESULTVIEW_H
#define VANTOR_RESULTVIEW_H

#include <QAbstractScrollArea>
#include <QList>
#include <QString>
#include <QTimer>

#include "ui/linelayout.h"

// A read-only view of a lookup's text. A reply may hold millions of short
// lines; a text document spends seconds and hundreds of megabytes on them,
// this view a line index. The user selects with the mouse, copies and
// selects all; found words can be highlighted. Lines are never wrapped.
// Assistive technology reads it through ResultAccessible; links and the
// context menu are ResultLinks'.
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
    qsizetype selectionAnchor() const { return m_anchor; }
    qsizetype selectionCursor() const { return m_position; } // the end that moves

    // The line that holds position, without its line end.
    Range lineAt(qsizetype position) const;
    // Between the view's text and its viewport's coordinates.
    qsizetype positionAt(const QPoint &point) const;
    QRect characterRect(qsizetype position) const;
    // Scrolls so that position is in view, if it is not.
    void ensureVisible(qsizetype position);

    // Marks ranges of the text, in text order and not overlapping; current
    // is drawn apart and scrolled into view (-1 for none).
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
    void changeEvent(QEvent *event) override;

private:
    QStringView lineText(int line) const;
    int lineOf(qsizetype position) const;
    int lineHeight() const { return m_layout.lineHeight(); }
    void drawLine(QPainter &painter, int line, int top) const;
    void drawHighlights(QPainter &painter, int line, int top) const;
    // Where the part from..to of a line drawn at top shows, or an empty
    // rect; the walker is the line's, asked in rising order.
    QRectF rangeRect(LineLayout::Walker &walker, int line, int top, qsizetype from, qsizetype to) const;
    int visibleRows() const;
    void updateMetrics();
    void updateScrollBars();
    void autoScroll();

    QString m_text;
    QList<qsizetype> m_lineStarts;
    LineLayout m_layout;
    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
    QList<Range> m_highlights;
    int m_current = -1;
    bool m_selecting = false;
    QPoint m_lastMouse;
    QTimer m_scrollTimer;
};

#endif
