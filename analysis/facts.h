#ifndef VANTOR_ANALYSIS_FACTS_H
#define VANTOR_ANALYSIS_FACTS_H

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace analysis {

// One fact a reply gives: a stable lower-case name for scripts ("registrar", "expires", "abuse_email",
// "cidr", ...), the label the window shows ("Registrar"), and its values in the reply's order (several for
// name servers, status codes, CIDR prefixes). A value the registry withheld is the single value "redacted".
struct Fact
{
    QString name;
    QString label;
    QStringList values;
};

struct Facts
{
    QString subject;  // "domain", "network" or "asn"; empty when the reply gives no facts
    QList<Fact> items; // in the panel's order, only facts the reply gives
    QDateTime expires; // UTC; invalid when the reply gives no expiry (for the "in 42 days" note and its colour)
    QString source;    // "whois.markmonitor.com (whois), after whois.verisign-grs.com"

    bool isEmpty() const { return items.isEmpty(); }
    const Fact *find(const QString &name) const;
    // The first value of the named fact, or an empty text.
    QString value(const QString &name) const;
    // Adds values under name where the fact is not there yet (the first source
    // of a fact wins), in the panel's order; empty values are dropped.
    void add(const QString &name, const QStringList &values);
    // Sets source and adds it as the last fact, where there is any other.
    void setSource(const QString &servers);
};

// Facts from a whois reply's text, by the key names of resources/data/whois-facts.tsv; kind is the query's kind
// (route::kindName()).
Facts whoisFacts(QStringView reply, const QString &kind);

// "domain", "network" or "asn" for a query's kind; empty for kinds that have no facts.
QString factSubject(const QString &kind);

// "in 42 days", "today", "3 days ago" (whole days, relative to now); with how urgent it is for the colour.
enum class ExpiryUrgency { None, Soon /* < 30 days */, Past };
QString expiryNote(const QDateTime &expires, const QDateTime &now, ExpiryUrgency *urgency = nullptr);

// The label the window shows for a fact's name ("abuse_email" -> "Abuse e-mail").
QString factLabel(const QString &name);

// A date as a reply writes it, as "YYYY-MM-DD", or as it is where it is a full
// ISO date and time; any other text as it is, trimmed.
QString normaliseDate(QStringView text);
// A normalised date as a point in time in UTC; invalid where it is none.
QDateTime dateTimeOf(const QString &normalised);

// A status as its EPP code: "client update prohibited" (RDAP's words) as
// "clientUpdateProhibited", a link after the code dropped
// ("clientHold https://icann.org/epp#clientHold"), a remark in brackets too.
QString eppStatus(QStringView status);

// Whether a value says that the registry withheld it ("REDACTED FOR PRIVACY",
// "Data Protected", "Not Disclosed", ...).
bool isRedacted(QStringView value);

// The name of a country from its two-letter code, from the embedded table;
// empty for a code the table does not hold.
QString countryName(const QString &code);

// Every prefix of the address range from first to last (IPv4 or IPv6, the
// two of one family), fewest first to last; empty where the ends are not
// addresses of one family or first comes after last.
QStringList rangePrefixes(QStringView first, QStringView last);
// A range as a reply writes it: "a - b", a prefix ("200.160.0.0/20", also
// abbreviated "200.160/20") as it is; empty where it is neither.
QStringList prefixesOfRange(QStringView range);

} // namespace analysis
#endif
