#include "rdap/bootstraptable.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace rdap {
namespace {

// The top bits of a 64-bit word; any count outside 1..63 is all or nothing,
// so no shift ever reaches 64.
quint64 maskOf(int bits)
{
    if (bits <= 0)
        return 0;
    return bits >= 64 ? ~quint64(0) : ~quint64(0) << (64 - bits);
}

bool readStrings(const QJsonValue &value, QStringList &out)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    out.clear();
    out.reserve(array.size());
    for (const QJsonValue &v : array) {
        if (!v.isString())
            return false;
        out.append(v.toString());
    }
    return true;
}

// A service's base URLs, https ones only unless it has none, so nothing
// goes out in clear text where an encrypted way exists. Each ends in '/'
// so a path can be appended as it is.
bool readUrls(const QJsonValue &value, QStringList &urls)
{
    QStringList listed;
    if (!readStrings(value, listed))
        return false;
    QStringList https, http;
    for (QString url : std::as_const(listed)) {
        if (!url.endsWith(u'/'))
            url += u'/';
        if (url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            https.append(url);
        else if (url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
            http.append(url);
    }
    urls = https.isEmpty() ? http : https;
    return true;
}

} // namespace

QString fileName(Registry registry)
{
    switch (registry) {
    case Registry::Dns: return QStringLiteral("dns.json");
    case Registry::IPv4: return QStringLiteral("ipv4.json");
    case Registry::IPv6: return QStringLiteral("ipv6.json");
    case Registry::Asn: return QStringLiteral("asn.json");
    case Registry::ObjectTags: return QStringLiteral("object-tags.json");
    }
    return QString();
}

BootstrapTable BootstrapTable::parse(Registry registry, const QByteArray &json)
{
    BootstrapTable invalid;
    invalid.m_registry = registry;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return invalid;
    const QJsonObject top = doc.object();
    BootstrapTable t;
    t.m_registry = registry;
    t.m_publication = QDateTime::fromString(top.value(QLatin1String("publication")).toString(),
                                            Qt::ISODate).toUTC();
    const QJsonArray services = top.value(QLatin1String("services")).toArray();
    if (!t.m_publication.isValid() || services.isEmpty())
        return invalid;
    // [entries, urls]; the object tags put the maintainers' mail addresses
    // in front: [emails, tags, urls].
    const qsizetype width = registry == Registry::ObjectTags ? 3 : 2;
    for (const QJsonValue &value : services) {
        const QJsonArray service = value.toArray();
        QStringList entries, urls, emails;
        if (service.size() != width || !readStrings(service.at(width - 2), entries)
            || !readUrls(service.at(width - 1), urls)
            || (width == 3 && !readStrings(service.at(0), emails)))
            return invalid;
        const int index = int(t.m_services.size());
        t.m_services.push_back(urls);
        for (const QString &entry : std::as_const(entries))
            if (!t.addEntry(entry, index))
                return invalid;
    }
    t.buildIndex();
    t.m_valid = true;
    return t;
}

bool BootstrapTable::addEntry(const QString &entry, int service)
{
    switch (m_registry) {
    case Registry::Dns:
    case Registry::ObjectTags:
        if (entry.isEmpty())
            return false;
        m_keys.push_back({ entry.toLower(), service });
        return true;
    case Registry::IPv4:
    case Registry::IPv6:
        return addBlock(entry, service);
    case Registry::Asn:
        return addRange(entry, service);
    }
    return false;
}

bool BootstrapTable::addBlock(const QString &entry, int service)
{
    if (!entry.contains(u'/'))
        return false;
    const auto [address, length] = QHostAddress::parseSubnet(entry);
    const auto family = m_registry == Registry::IPv4 ? QAbstractSocket::IPv4Protocol
                                                     : QAbstractSocket::IPv6Protocol;
    if (length < 0 || address.protocol() != family)
        return false;
    Block block = toBlock(address, length);
    block.service = service;
    m_blocks.push_back(block);
    return true;
}

// "64512-65534" or a single number.
bool BootstrapTable::addRange(const QString &entry, int service)
{
    const qsizetype dash = entry.indexOf(u'-');
    const QStringView first = QStringView(entry).left(dash); // left(-1) is the whole
    const QStringView last = dash < 0 ? first : QStringView(entry).mid(dash + 1);
    bool ok1 = false, ok2 = false;
    Range range { first.toUInt(&ok1), last.toUInt(&ok2), service };
    if (!ok1 || !ok2 || range.first > range.last)
        return false;
    m_ranges.push_back(range);
    return true;
}

// Sorted so that the first hit of a scan is the most specific one.
void BootstrapTable::buildIndex()
{
    std::stable_sort(m_keys.begin(), m_keys.end(),
                     [](const Key &a, const Key &b) { return a.key < b.key; });
    std::stable_sort(m_blocks.begin(), m_blocks.end(),
                     [](const Block &a, const Block &b) { return a.length > b.length; });
    std::stable_sort(m_ranges.begin(), m_ranges.end(), [](const Range &a, const Range &b) {
        return a.last - a.first < b.last - b.first;
    });
}

BootstrapTable::Block BootstrapTable::toBlock(const QHostAddress &address, int length)
{
    Block b;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        b.lo = 0xffff00000000ULL | address.toIPv4Address(); // ::ffff:a.b.c.d
        b.length = length + 96;
    } else {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        for (int i = 0; i < 8; ++i) {
            b.hi = b.hi << 8 | bytes[i];
            b.lo = b.lo << 8 | bytes[i + 8];
        }
        b.length = length;
    }
    b.hi &= maskOf(b.length);
    b.lo &= maskOf(b.length - 64);
    return b;
}

QStringList BootstrapTable::forKey(QStringView key) const
{
    const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key,
                                     [](const Key &k, QStringView v) { return QStringView(k.key) < v; });
    if (it == m_keys.end() || it->key != key)
        return QStringList();
    return m_services[size_t(it->service)];
}

QStringList BootstrapTable::forName(QStringView name) const
{
    if (m_registry != Registry::Dns)
        return QStringList();
    QString lower = name.toString().toLower();
    if (lower.endsWith(u'.'))
        lower.chop(1);
    for (qsizetype start = 0; start < lower.size();) {
        const QStringList urls = forKey(QStringView(lower).mid(start));
        if (!urls.isEmpty())
            return urls;
        const qsizetype dot = lower.indexOf(u'.', start);
        if (dot < 0)
            break;
        start = dot + 1;
    }
    return QStringList();
}

QStringList BootstrapTable::forPrefix(const QHostAddress &address, int length) const
{
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if ((v4 && m_registry != Registry::IPv4) || (v6 && m_registry != Registry::IPv6)
        || (!v4 && !v6) || length < 0 || length > (v4 ? 32 : 128))
        return QStringList();
    const Block query = toBlock(address, length);
    for (const Block &b : m_blocks) {
        if (b.length <= query.length && (query.hi & maskOf(b.length)) == b.hi
            && (query.lo & maskOf(b.length - 64)) == b.lo)
            return m_services[size_t(b.service)];
    }
    return QStringList();
}

QStringList BootstrapTable::forAsNumber(quint32 number) const
{
    for (const Range &r : m_ranges)
        if (r.first <= number && number <= r.last)
            return m_services[size_t(r.service)];
    return QStringList();
}

QStringList BootstrapTable::forTag(QStringView tag) const
{
    if (m_registry != Registry::ObjectTags || tag.isEmpty())
        return QStringList();
    return forKey(tag.toString().toLower());
}

} // namespace rdap
