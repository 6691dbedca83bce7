#include <QFile>
#include <QHash>
#include <QUrl>

#include <algorithm>

#include "analysis/facts.h"
#include "analysis/scan.h"

namespace analysis {

namespace {

enum Subject { Domain = 1, Network = 2, Asn = 4 };

struct Row
{
    QString fact;
    int subjects = 0;
};

// resources/data/whois-facts.tsv, key in lower case to its rows.
QHash<QString, QList<Row>> parseTable(const QString &data)
{
    QHash<QString, QList<Row>> table;
    const QStringList lines = data.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList cells = line.trimmed().split(QLatin1Char('\t'));
        if (cells.size() != 3)
            continue;
        Row row{ cells.at(1).trimmed(), 0 };
        for (const QString &s : cells.at(2).split(QLatin1Char(',')))
            row.subjects |= s.trimmed() == QLatin1String("domain")    ? Domain
                            : s.trimmed() == QLatin1String("network") ? Network
                            : s.trimmed() == QLatin1String("asn")     ? Asn
                                                                      : 0;
        table[cells.at(0).trimmed().toLower()].append(row);
    }
    return table;
}

const QHash<QString, QList<Row>> &table()
{
    static const QHash<QString, QList<Row>> rows = [] {
        QFile file(QStringLiteral(":/resources/data/whois-facts.tsv"));
        return parseTable(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
    }();
    return rows;
}

bool isMulti(const QString &fact)
{
    return fact == QLatin1String("status") || fact == QLatin1String("name_servers") || fact == QLatin1String("cidr");
}

constexpr int kMaxValues = 32;  // of a fact with several values
constexpr int kMaxKey = 48;     // a colon further on ends no key
constexpr int kMaxBlock = 32;   // lines below a key on its own

// A value as the fact wants it: a date normalised, a status code without
// its link, a name server without its addresses, a country by its name.
QStringList cleaned(const QString &fact, const QString &value)
{
    const QString v = value.simplified();
    if (v.isEmpty())
        return {};
    if (fact == QLatin1String("registered") || fact == QLatin1String("updated") || fact == QLatin1String("expires"))
        return { normaliseDate(v) };
    if (fact.startsWith(QLatin1String("registrant")) || fact.startsWith(QLatin1String("abuse")))
        if (isRedacted(v))
            return { QStringLiteral("redacted") };
    if (fact == QLatin1String("status") || fact == QLatin1String("cidr")) {
        QStringList parts;
        for (const QString &part : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (const QString p = fact == QLatin1String("cidr") ? part.trimmed() : eppStatus(part); !p.isEmpty())
                parts.append(p);
        return parts;
    }
    // RDAP's text, as a kept answer holds it: "13335", "+1.2083895740 (voice)".
    if (fact == QLatin1String("asn") && std::all_of(v.begin(), v.end(), [](QChar c) { return c.isDigit(); }))
        return { QLatin1String("AS") + v };
    if (fact == QLatin1String("abuse_phone") && v.endsWith(QLatin1Char(')')) && v.contains(QLatin1String(" (")))
        return { v.left(v.lastIndexOf(QLatin1String(" ("))) };
    if (fact == QLatin1String("name_servers")) {
        QString host = v.section(QLatin1Char(' '), 0, 0).toLower();
        while (host.endsWith(QLatin1Char('.')))
            host.chop(1);
        return { host };
    }
    if (fact == QLatin1String("registry"))
        return { v.section(QLatin1Char(' '), 0, 0) };
    if (fact.endsWith(QLatin1String("country")) && v.size() == 2)
        if (const QString name = countryName(v.toUpper()); !name.isEmpty())
            return { name };
    return { v };
}

// One reply, read line by line.
class Reader
{
public:
    Reader(QStringView text, int subject) : m_text(text), m_subject(subject) {}
    QHash<QString, QStringList> read();

private:
    void take(const QString &key, QStringView value, qsizetype lineEnd, qsizetype indent);
    void add(const QString &fact, const QString &value);
    void abuseComment(QStringView line);

    QStringView m_text;
    int m_subject;
    QHash<QString, QStringList> m_found;
    QString m_key; // reused, to spare an allocation per line
};

qsizetype lineEndFrom(QStringView text, qsizetype from)
{
    const qsizetype end = scan::indexOf(text, '\n', from);
    return end < 0 ? text.size() : end;
}

qsizetype indentOf(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line.at(i) == u' ' || line.at(i) == u'\t'))
        ++i;
    return i;
}

QHash<QString, QStringList> Reader::read()
{
    for (qsizetype start = 0; start < m_text.size();) {
        const qsizetype end = lineEndFrom(m_text, start);
        const QStringView line = m_text.sliced(start, end - start);
        start = end + 1;
        const qsizetype indent = indentOf(line);
        QStringView rest = line.sliced(indent);
        if (rest.startsWith(u'%') || rest.startsWith(u'#')) {
            abuseComment(rest);
            continue;
        }
        // JPRS: "a. [Domain Name]   GOOGLE.CO.JP".
        if (rest.size() > 3 && rest.at(1) == u'.' && rest.at(2) == u' ')
            rest = rest.sliced(3).trimmed();
        qsizetype keyEnd = -1;
        qsizetype valueStart = -1;
        if (rest.startsWith(u'[')) {
            rest = rest.sliced(1);
            keyEnd = rest.indexOf(u']');
            valueStart = keyEnd + 1;
        } else {
            keyEnd = scan::indexOf(rest.left(kMaxKey + 1), ':');
            valueStart = keyEnd + 1;
        }
        if (keyEnd <= 0 || keyEnd > kMaxKey)
            continue;
        m_key = rest.left(keyEnd).trimmed().toString().toLower();
        take(m_key, rest.sliced(qMin(valueStart, rest.size())), end, indent);
    }
    return m_found;
}

void Reader::take(const QString &key, QStringView value, qsizetype lineEnd, qsizetype indent)
{
    const auto it = table().constFind(key);
    if (it == table().constEnd())
        return;
    const Row *row = nullptr;
    for (const Row &r : *it)
        if (r.subjects & m_subject) {
            row = &r;
            break;
        }
    if (!row || (!isMulti(row->fact) && m_found.contains(row->fact)))
        return;
    if (!value.trimmed().isEmpty()) {
        add(row->fact, value.toString());
        return;
    }
    // A key on its own line: its values are the lines indented below it.
    for (qsizetype start = lineEnd + 1, n = 0; start < m_text.size() && n < kMaxBlock; ++n) {
        const qsizetype end = lineEndFrom(m_text, start);
        const QStringView line = m_text.sliced(start, end - start);
        if (line.trimmed().isEmpty() || indentOf(line) <= indent)
            break;
        add(row->fact, line.toString());
        if (!isMulti(row->fact))
            break;
        start = end + 1;
    }
}

void Reader::add(const QString &fact, const QString &value)
{
    QStringList &values = m_found[fact];
    for (const QString &v : cleaned(fact, value))
        if (values.size() < (isMulti(fact) ? kMaxValues : 1))
            values.append(v);
    if (values.isEmpty())
        m_found.remove(fact);
}

// "% Abuse contact for '192.0.2.0 - 192.0.2.255' is 'abuse@example.net'", as
// RIPE, APNIC and AFRINIC write it above the objects.
void Reader::abuseComment(QStringView line)
{
    if (m_subject == Domain || m_found.contains(QStringLiteral("abuse_email"))
        || !line.contains(QLatin1String("abuse contact for"), Qt::CaseInsensitive))
        return;
    const qsizetype is = line.lastIndexOf(QLatin1String(" is '"));
    const qsizetype close = line.lastIndexOf(u'\'');
    if (is > 0 && close > is + 5)
        add(QStringLiteral("abuse_email"), line.sliced(is + 5, close - is - 5).toString());
}

} // namespace

Facts whoisFacts(QStringView reply, const QString &kind)
{
    Facts facts;
    const QString subject = factSubject(kind);
    if (subject.isEmpty())
        return facts;
    const int bit = subject == QLatin1String("domain") ? Domain : subject == QLatin1String("network") ? Network : Asn;
    QHash<QString, QStringList> found = Reader(reply, bit).read();
    if (const QString name = found.take(QStringLiteral("domain")).value(0).toLower(); !name.isEmpty()) {
        const QString ascii = QString::fromLatin1(QUrl::toAce(name));
        facts.add(QStringLiteral("domain"), { ascii.isEmpty() ? name : QUrl::fromAce(ascii.toLatin1()) });
        facts.add(QStringLiteral("domain_ascii"), { ascii.isEmpty() ? name : ascii });
    }
    if (bit == Network && !found.contains(QStringLiteral("cidr")))
        found.insert(QStringLiteral("cidr"), prefixesOfRange(found.value(QStringLiteral("range")).value(0)));
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        facts.add(it.key(), it.value());
    facts.expires = dateTimeOf(facts.value(QStringLiteral("expires")));
    if (!facts.isEmpty())
        facts.subject = subject;
    return facts;
}

} // namespace analysis
