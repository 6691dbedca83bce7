#ifndef VANTOR_EXTRACT_H
#define VANTOR_EXTRACT_H

#include <QString>
#include <QStringList>
#include <QStringView>

namespace extraction {

// A field of a reply, named by any of its keys ("inetnum|NetRange"). Its
// value is what follows "key:" (any letter case) to the end of the line,
// wherever on the line the key stands: the matches of the expression
// "(?:keys):([^\n]*)", found left to right, each after the last. Found by
// hand, since compiling an expression costs more than reading a reply.
class Field
{
public:
    explicit Field(const QString &keys); // in ASCII, '|'-separated

    struct Match
    {
        qsizetype start = -1; // of the key
        qsizetype value = -1; // after its ':'
        qsizetype end = -1;   // of the line: its '\n', or the end of the text
    };
    // The first match that starts at or after from; start -1 for none.
    Match find(QStringView text, qsizetype from) const;
    // Where the longest key that ends at the colon text[colon] starts, at
    // or after from; -1 where no key ends there.
    qsizetype keyBefore(QStringView text, qsizetype colon, qsizetype from) const;

private:
    QStringList m_keys;
    QString m_firstLetters; // of each key, in lower case
    QString m_lastLetters;
};

// Every value of the field in text, trimmed, joined by line feeds and
// trimmed once more as a whole.
QString allValues(const Field &field, QStringView text);

// What allValues() gives for each of several fields, found in one pass over
// text: a summary wants four fields of each paragraph.
struct Wanted
{
    const Field *field;
    QString *values;
};
void collectValues(QStringView text, const Wanted *wanted, int count);

// The first value on a line that is not a comment (one that starts with
// '%' or '#'), trimmed; empty when there is none.
QString firstValueOutsideComments(const Field &field, QStringView text);

} // namespace extraction

#endif
