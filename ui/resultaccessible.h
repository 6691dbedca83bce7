#ifndef VANTOR_RESULTACCESSIBLE_H
#define VANTOR_RESULTACCESSIBLE_H

#include <QAccessibleWidget>
#include <QList>

class ResultView;

// What a screen reader learns of the result view, which draws its text
// itself: a read-only text, read whole or by character, word or line, and
// its selection, which the reader may also set.
class ResultAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ResultAccessible(ResultView *view);

    // Makes every ResultView answer with this interface; the view calls it.
    static void install();
    // Tell a listening assistive technology of a change; nothing is done
    // while none listens.
    static void textReplaced(ResultView *view, const QString &old);
    static void selectionMoved(ResultView *view);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    struct Segment
    {
        int start = -1;
        int end = -1;
    };

    ResultView *view() const;
    // The scroll bars; the viewport is part of the text, not a child.
    QList<QWidget *> childWidgets() const;
    Segment segmentAt(int offset, QAccessible::TextBoundaryType type) const;
    Segment wordAt(int offset, QAccessible::TextBoundaryType type) const;
    QString textOf(Segment segment, int *startOffset, int *endOffset) const;
};

#endif
