#ifndef VANTOR_RDAP_REDACTIONS_H
#define VANTOR_RDAP_REDACTIONS_H

#include <QHash>
#include <QJsonValue>
#include <QSet>
#include <QList>
#include <QString>
#include <QStringList>

namespace rdap::detail {

// What a reply says it left out (its "redacted" array, RFC 9537), matched by
// name to the lines the renderer writes: "Registrant Name" names the line
// "Registrant Name:". Names are compared without letter case, and
// "Technical"/"Administrative" count as the "Tech"/"Admin" of the line keys.
// No path expression is evaluated.
class Redactions
{
public:
    Redactions() = default;
    explicit Redactions(const QJsonValue &redacted);

    bool isEmpty() const { return m_items.isEmpty(); }

    // A redaction names the field this key stands for.
    bool names(const QString &key) const;
    // A redaction names some field of the contact whose keys start with prefix.
    bool coversPrefix(const QString &prefix) const;
    // The field the key stands for is in the text now.
    void markShown(const QString &key);

    // Names, as the server wrote them, of redacted fields under prefix that
    // no line shows yet, without the prefix's words ("Email" for "Technical
    // Email" under "Tech").
    QStringList unshownUnder(const QString &prefix);
    // Names of redacted fields that no line shows yet.
    QStringList unshown() const;
    // One line per redaction: name, method and reason.
    QStringList summaries() const;

    static QString normalise(QStringView name);

private:
    struct Item
    {
        QString name;       // as the server wrote it
        QString normalised; // empty when the redaction has no name
        QString method;
        QString reason;
        bool shown = false;
    };
    void index(int item);

    // Lookups by hash, not by walking the list: a hostile reply may pair
    // thousands of redactions with thousands of contacts.
    QList<Item> m_items;
    QHash<QString, QList<int>> m_byName;   // normalised name to items
    QHash<QString, QList<int>> m_byPrefix; // its leading words (not all of them) to items
    QSet<QString> m_registryIds;           // "tech" for "registry tech id"
};

} // namespace rdap::detail

#endif
