#ifndef VANTOR_EXTRACT_H
#define VANTOR_EXTRACT_H

#include <QRegularExpression>
#include <QString>
#include <QStringView>

namespace extraction {

// "(?:keys):(value to the end of the line)", case-insensitive; compiled once
// per thread and key set.
QRegularExpression fieldPattern(const QString &keys);

// Every value the pattern finds in text, trimmed, joined by line feeds and
// trimmed once more as a whole.
QString allValues(const QRegularExpression &pattern, QStringView text);

// The first value the pattern finds on a line that is not a comment (one
// that starts with '%' or '#'), trimmed; empty when there is none.
QString firstValueOutsideComments(const QRegularExpression &pattern, QStringView text);

} // namespace extraction

#endif
