#ifndef VANTOR_RDAP_WRITER_H
#define VANTOR_RDAP_WRITER_H

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

namespace rdap::detail {

class Redactions;

// Any JSON value as one piece of text: numbers without a needless ".0",
// containers as compact JSON, null as nothing. Servers put numbers where
// text belongs and the other way round; both must show.
QString scalarText(const QJsonValue &value);

// A member that should hold a list: an array as it is, nothing for null or
// a missing member, any other value as a list of one.
QJsonArray listOf(const QJsonValue &value);

// Line ends inside a value become blanks, so one value stays one line.
QString cleanValue(QString text);

// "prefix rest", or rest alone when there is no prefix.
QString joinKey(const QString &prefix, const QString &rest);

// Collects the text: "key: value" lines, "% " comment lines and blank lines
// between paragraphs.
class Writer
{
public:
    // Redactions apply to the lines written from now on; may be null.
    void setRedactions(Redactions *redactions) { m_redactions = redactions; }
    Redactions *redactions() const { return m_redactions; }

    // "key: value". An empty value is left out, unless a redaction names the
    // key or blankIsRedacted says the contact is redacted: then the value
    // reads "REDACTED".
    void field(const QString &key, const QString &value, bool blankIsRedacted = false);
    // Each line of text as a comment line.
    void comment(const QString &text);
    // Starts a new paragraph, unless the current one is still empty.
    void paragraph();

    bool isEmpty() const { return m_text.isEmpty(); }
    // The text, ending with exactly one line feed.
    QString finish();

private:
    QString m_text;
    Redactions *m_redactions = nullptr;
};

} // namespace rdap::detail

#endif
