#include "ui/resultaccessible.h"

#include <QTextBoundaryFinder>

#include <algorithm>

#include "ui/resultview.h"

namespace {

// Words and characters are looked for this far either side of the offset:
// a line of megabytes costs no more, and a longer word is read in pieces.
constexpr int kWindow = 256;

QAccessibleInterface *createInterface(const QString &key, QObject *object)
{
    auto *view = qobject_cast<ResultView *>(object);
    if (key == QLatin1String("ResultView") && view)
        return new ResultAccessible(view);
    return nullptr;
}

} // namespace

ResultAccessible::ResultAccessible(ResultView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
}

void ResultAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(createInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void ResultAccessible::textReplaced(ResultView *view, const QString &old)
{
    // Qt hands events on only where an assistive technology listens; the
    // view's interface is not even made before one does.
    if (!QAccessible::isActive())
        return;
    // Both texts are shared, not copied.
    QAccessibleTextUpdateEvent event(view, 0, old, view->toPlainText());
    QAccessible::updateAccessibility(&event);
    selectionMoved(view);
}

void ResultAccessible::selectionMoved(ResultView *view)
{
    if (!QAccessible::isActive())
        return;
    const int anchor = int(view->selectionAnchor());
    const int cursor = int(view->selectionCursor());
    QAccessibleTextSelectionEvent selection(view, anchor == cursor ? -1 : std::min(anchor, cursor),
                                            anchor == cursor ? -1 : std::max(anchor, cursor));
    selection.setCursorPosition(cursor);
    QAccessible::updateAccessibility(&selection);
    QAccessibleTextCursorEvent moved(view, cursor);
    QAccessible::updateAccessibility(&moved);
}

ResultView *ResultAccessible::view() const
{
    return static_cast<ResultView *>(widget());
}

QAccessible::State ResultAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString ResultAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && view()->accessibleName().isEmpty())
        return QStringLiteral("Result");
    // The value would be the whole reply: readers ask the text interface.
    if (t == QAccessible::Value)
        return QString();
    return QAccessibleWidget::text(t);
}

QList<QWidget *> ResultAccessible::childWidgets() const
{
    QList<QWidget *> widgets;
    for (QObject *object : view()->children()) {
        auto *w = qobject_cast<QWidget *>(object);
        if (w && w != view()->viewport() && !w->isWindow())
            widgets.append(w);
    }
    return widgets;
}

int ResultAccessible::childCount() const
{
    return int(childWidgets().size());
}

QAccessibleInterface *ResultAccessible::child(int index) const
{
    const QList<QWidget *> widgets = childWidgets();
    return index >= 0 && index < widgets.size() ? QAccessible::queryAccessibleInterface(widgets.at(index)) : nullptr;
}

int ResultAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    return child ? int(childWidgets().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
}

void *ResultAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void ResultAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !view()->hasSelection())
        return;
    *startOffset = int(std::min(view()->selectionAnchor(), view()->selectionCursor()));
    *endOffset = int(std::max(view()->selectionAnchor(), view()->selectionCursor()));
}

int ResultAccessible::selectionCount() const
{
    return view()->hasSelection() ? 1 : 0;
}

void ResultAccessible::addSelection(int startOffset, int endOffset)
{
    // One selection only: a new one replaces it.
    view()->setSelection(startOffset, endOffset);
}

void ResultAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setSelection(view()->selectionCursor(), view()->selectionCursor());
}

void ResultAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->setSelection(startOffset, endOffset);
}

int ResultAccessible::cursorPosition() const
{
    return int(view()->selectionCursor());
}

void ResultAccessible::setCursorPosition(int position)
{
    view()->setSelection(position, position);
}

QString ResultAccessible::text(int startOffset, int endOffset) const
{
    const QString all = view()->toPlainText();
    if (endOffset < 0) // to the end, as AT-SPI asks for it
        endOffset = int(all.size());
    startOffset = std::clamp(startOffset, 0, int(all.size()));
    endOffset = std::clamp(endOffset, startOffset, int(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int ResultAccessible::characterCount() const
{
    return int(view()->toPlainText().size());
}

ResultAccessible::Segment ResultAccessible::segmentAt(int offset, QAccessible::TextBoundaryType type) const
{
    const int count = characterCount();
    if (offset < 0 || offset > count)
        return {};
    if (type == QAccessible::NoBoundary)
        return { 0, count };
    if (type != QAccessible::LineBoundary && type != QAccessible::ParagraphBoundary)
        return wordAt(offset, type);
    // Lines are never wrapped: a line and a paragraph are the same, each
    // with its line end.
    const ResultView::Range line = view()->lineAt(offset);
    const int end = int(line.start + line.length);
    return { int(line.start), end < count ? end + 1 : end };
}

ResultAccessible::Segment ResultAccessible::wordAt(int offset, QAccessible::TextBoundaryType type) const
{
    const int count = characterCount();
    if (offset == count)
        return { count, count };
    const ResultView::Range line = view()->lineAt(offset);
    const int from = std::max(int(line.start), offset - kWindow);
    const int to = std::min({ int(line.start + line.length) + 1, offset + kWindow, count });
    const QString all = view()->toPlainText();
    const auto kind = type == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                      : type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                          : QTextBoundaryFinder::Sentence;
    QTextBoundaryFinder finder(kind, QStringView(all).mid(from, to - from));
    // As Qt's own text widgets: a word, or the gap between two words.
    const auto edge = [&finder] {
        return finder.boundaryReasons() & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem);
    };
    finder.setPosition(offset - from);
    qsizetype start = finder.position();
    while (start > 0 && !(finder.isAtBoundary() && edge()))
        start = finder.toPreviousBoundary();
    finder.setPosition(std::max<qsizetype>(start, 0));
    qsizetype end = finder.toNextBoundary();
    while (end > 0 && end < to - from && !edge())
        end = finder.toNextBoundary();
    return { from + int(std::max<qsizetype>(start, 0)), end < 0 ? to : from + int(end) };
}

QString ResultAccessible::textOf(Segment segment, int *startOffset, int *endOffset) const
{
    *startOffset = segment.start;
    *endOffset = segment.end;
    return segment.start < 0 ? QString() : text(segment.start, segment.end);
}

QString ResultAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                       int *endOffset) const
{
    return textOf(segmentAt(offset, boundaryType), startOffset, endOffset);
}

QString ResultAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int *startOffset, int *endOffset) const
{
    const Segment at = segmentAt(offset, boundaryType);
    if (at.start <= 0 || boundaryType == QAccessible::NoBoundary)
        return textOf({}, startOffset, endOffset);
    // A word cut at the window's edge goes on to the left: its rest comes first.
    return textOf({ segmentAt(at.start - 1, boundaryType).start, at.start }, startOffset, endOffset);
}

QString ResultAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                          int *endOffset) const
{
    const Segment at = segmentAt(offset, boundaryType);
    if (at.end < 0 || at.end >= characterCount() || boundaryType == QAccessible::NoBoundary)
        return textOf({}, startOffset, endOffset);
    return textOf({ at.end, segmentAt(at.end, boundaryType).end }, startOffset, endOffset);
}

QRect ResultAccessible::characterRect(int offset) const
{
    const QRect local = view()->characterRect(offset);
    return QRect(view()->viewport()->mapToGlobal(local.topLeft()), local.size());
}

int ResultAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    return view()->viewport()->rect().contains(local) ? int(view()->positionAt(local)) : -1;
}

void ResultAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    // The end first, so that a range wider than the view shows its start.
    view()->ensureVisible(endIndex);
    view()->ensureVisible(startIndex);
}

QString ResultAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One font and colour throughout: a single run without attributes.
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}
