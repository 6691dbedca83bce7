#include "route/query.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>

#include "route/registrable.h"
#include "route/tldtable.h"

namespace route {
namespace {

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isAsciiAlnum(QChar c) { return isAsciiDigit(c) || (c >= u'a' && c <= u'z'); }
bool isHexDigit(QChar c) { return isAsciiDigit(c) || (c >= u'a' && c <= u'f'); }

bool isDecimal(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isAsciiDigit);
}

// Four decimal numbers from 0 to 255. QHostAddress would also take "10",
// "1234" and octal "010"; a leading zero is refused because servers differ
// on whether it means octal.
bool isIPv4(QStringView s)
{
    const QList<QStringView> parts = s.split(u'.');
    if (parts.size() != 4)
        return false;
    for (QStringView part : parts) {
        if (!isDecimal(part) || part.size() > 3 || (part.size() > 1 && part.front() == u'0')
            || part.toInt() > 255)
            return false;
    }
    return true;
}

// Plain IPv6 only: no zone, no brackets.
bool isIPv6(QStringView s)
{
    if (!s.contains(u':') || s.contains(u'%') || s.contains(u'['))
        return false;
    QHostAddress address;
    return address.setAddress(s.toString()) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// Text that can only be meant as an address: digits and dots, hex digits with
// colons and dots (which covers "192.0.2.1:80" too), possibly with a zone, or
// anything in brackets; each possibly followed by "/something".
bool looksLikeAddress(QStringView s)
{
    if (s.startsWith(u'['))
        return true;
    QStringView address = s.left(s.indexOf(u'/')); // left(-1) is the whole
    address = address.left(address.indexOf(u'%'));
    if (address.isEmpty())
        return false;
    const bool colon = address.contains(u':');
    return std::all_of(address.begin(), address.end(), [colon](QChar c) {
        return c == u'.' || (colon ? (c == u':' || isHexDigit(c)) : isAsciiDigit(c));
    });
}

// An address, a prefix or an invalid try at one of them.
Query classifyAddress(const QString &lower)
{
    Query q;
    q.kind = Kind::Invalid;
    q.text = lower;
    const qsizetype slash = lower.indexOf(u'/');
    const QStringView address = QStringView(lower).left(slash);
    const bool v4 = isIPv4(address);
    if (!v4 && !isIPv6(address))
        return q;
    if (slash < 0) {
        q.kind = v4 ? Kind::IPv4 : Kind::IPv6;
        return q;
    }
    const QStringView length = QStringView(lower).mid(slash + 1);
    if (isDecimal(length) && length.size() <= 3 && length.toInt() <= (v4 ? 32 : 128))
        q.kind = Kind::Cidr;
    return q;
}

bool classifyAsn(const QString &lower, Query &q)
{
    if (!lower.startsWith(QLatin1String("as")))
        return false;
    const QStringView digits = QStringView(lower).mid(2);
    if (!isDecimal(digits) || digits.size() > 10)
        return false;
    const qulonglong number = digits.toULongLong();
    if (number > 4294967295ULL)
        return false;
    q.kind = Kind::Asn;
    q.text = QString::number(number);
    return true;
}

struct HandleSuffix
{
    const char16_t *suffix;
    const char *registry;
    const char *server;
};

constexpr HandleSuffix kHandleSuffixes[] = {
    { u"-arin", "arin", "whois.arin.net" },
    { u"-ripe", "ripe", "whois.ripe.net" },
    { u"-ap", "apnic", "whois.apnic.net" },
    { u"-lacnic", "lacnic", "whois.lacnic.net" },
    { u"-afrinic", "afrinic", "whois.afrinic.net" },
};

bool classifyHandle(const QString &lower, Query &q)
{
    for (const HandleSuffix &h : kHandleSuffixes) {
        const QStringView suffix(h.suffix);
        if (!lower.endsWith(suffix))
            continue;
        const QStringView stem = QStringView(lower).chopped(suffix.size());
        const bool allowed = std::all_of(stem.begin(), stem.end(),
                                         [](QChar c) { return isAsciiAlnum(c) || c == u'-'; });
        if (!allowed || !std::any_of(stem.begin(), stem.end(), isAsciiAlnum))
            return false;
        q.kind = Kind::Handle;
        q.text = lower;
        q.registry = QLatin1String(h.registry);
        return true;
    }
    return false;
}

// A name: a TLD on its own, a domain, or something else.
Query classifyName(const QString &lower)
{
    Query q;
    q.text = lower;
    QString name = lower;
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty()) {
        q.kind = Kind::Invalid;
        return q;
    }
    const QString ace = QString::fromLatin1(QUrl::toAce(name));
    if (ace.isEmpty())
        return q; // not a host name, e.g. a mail address or a URL
    if (!name.contains(u'.')) {
        if (tldServers(ace)) {
            q.kind = Kind::Tld;
            q.text = ace;
            q.tld = ace;
        }
        return q;
    }
    q.kind = Kind::Domain;
    q.tld = ace.mid(ace.lastIndexOf(u'.') + 1);
    // Registries hold registered names only, so a name below one is asked
    // for as the name it belongs to. A name of two labels is asked for as it
    // is either way, so the Public Suffix List is not even loaded for it.
    const QString registrable = ace.count(u'.') > 1 ? registrableDomain(ace) : QString();
    if (!registrable.isEmpty() && registrable != ace) {
        q.text = registrable;
        q.reducedFrom = name;
    } else {
        q.text = ace;
    }
    return q;
}

bool isJoiner(char32_t c) { return c == 0x200C || c == 0x200D; }

} // namespace

QString normalise(const QString &query)
{
    const QString compatible = query.normalized(QString::NormalizationForm_KC);
    QString out;
    out.reserve(compatible.size());
    char32_t previous = 0;
    for (qsizetype i = 0; i < compatible.size(); ++i) {
        char32_t c = compatible.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < compatible.size() && compatible.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), compatible.at(++i).unicode());
        if (c == 0x3002) // the ideographic full stop; NFKC has made the half-width one this already
            c = u'.';
        // Joiners shape some scripts and belong to their names (IDNA keeps
        // them there); after ASCII they are as invisible as the rest.
        if (QChar::category(c) == QChar::Other_Format && (!isJoiner(c) || previous < 0x80))
            continue;
        out.append(QStringView(QChar::fromUcs4(c)));
        previous = c;
    }
    return out;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::IPv4: return QStringLiteral("ipv4");
    case Kind::IPv6: return QStringLiteral("ipv6");
    case Kind::Cidr: return QStringLiteral("cidr");
    case Kind::Asn: return QStringLiteral("asn");
    case Kind::Handle: return QStringLiteral("handle");
    case Kind::Tld: return QStringLiteral("tld");
    case Kind::Domain: return QStringLiteral("domain");
    case Kind::Other:
    case Kind::Verbatim: return QStringLiteral("other");
    case Kind::Invalid: return QStringLiteral("invalid");
    }
    return QStringLiteral("invalid");
}

Query classify(const QString &query)
{
    Query q;
    if (query.isEmpty()) {
        q.kind = Kind::Invalid;
        return q;
    }
    // Options and keywords for a particular server ("-B 193.0.0.1") go as
    // the user wrote them; some servers care about case there.
    if (std::any_of(query.begin(), query.end(), [](QChar c) { return c.isSpace(); })) {
        q.kind = Kind::Verbatim;
        q.text = query;
        return q;
    }
    // Compatibility forms, ideographic full stops and invisible characters,
    // which a paste from a document or a CJK keyboard brings, would make
    // "１９２.0.2.1" or "192.0.2.1<ZWSP>" a domain.
    const QString lower = normalise(query).toLower();
    if (lower.isEmpty()) {
        q.kind = Kind::Invalid;
        q.text = query;
        return q;
    }
    if (looksLikeAddress(lower))
        return classifyAddress(lower);
    if (classifyAsn(lower, q) || classifyHandle(lower, q))
        return q;
    return classifyName(lower);
}

QString handleServer(const QString &registry)
{
    for (const HandleSuffix &h : kHandleSuffixes)
        if (registry == QLatin1String(h.registry))
            return QLatin1String(h.server);
    return QString();
}

} // namespace route
