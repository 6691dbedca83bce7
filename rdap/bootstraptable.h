#ifndef VANTOR_RDAP_BOOTSTRAPTABLE_H
#define VANTOR_RDAP_BOOTSTRAPTABLE_H

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QStringView>

#include <vector>

class QHostAddress;

namespace rdap {

// IANA's bootstrap files, one per kind of object (RFC 9224, and RFC 8521
// for the object tags).
enum class Registry { Dns, IPv4, IPv6, Asn, ObjectTags };
constexpr Registry kAllRegistries[] = { Registry::Dns, Registry::IPv4, Registry::IPv6, Registry::Asn,
                                        Registry::ObjectTags };

// "dns.json", "ipv4.json", "ipv6.json", "asn.json" or "object-tags.json":
// the name IANA publishes the file under, also used in the cache folder.
QString fileName(Registry registry);

// One bootstrap file's services: which base URLs serve which entries. Each
// lookup answers the service's base URLs, every one ending in '/', https
// ones only where the service lists any (plain http only where IANA lists
// no https URL), or an empty list when no entry matches. Read-only once
// built, so one table can serve any number of threads.
class BootstrapTable
{
public:
    BootstrapTable() = default; // empty and invalid

    // The table of a file's bytes. Invalid JSON, a shape other than the
    // registry's, an entry that does not parse, no services or no
    // publication date give an empty, invalid table.
    static BootstrapTable parse(Registry registry, const QByteArray &json);

    Registry registry() const { return m_registry; }
    bool isValid() const { return m_valid; }
    QDateTime publication() const { return m_publication; } // UTC
    int serviceCount() const { return int(m_services.size()); }

    // Dns: the service of the longest listed suffix of a name in A-labels
    // (case does not matter); "www.example.co.uk" tries the whole name,
    // then "example.co.uk", "co.uk" and "uk".
    QStringList forName(QStringView name) const;
    // IPv4, IPv6: the service of the longest listed block that holds the
    // whole prefix. An address is a prefix of its full length.
    QStringList forPrefix(const QHostAddress &address, int length) const;
    // Asn: the service of the narrowest range holding the number.
    QStringList forAsNumber(quint32 number) const;
    // ObjectTags: the service of a tag such as "ARIN" (case does not matter).
    QStringList forTag(QStringView tag) const;

private:
    // A 128-bit address; IPv4 is kept as an IPv4-mapped IPv6 address so
    // both families share one containment test.
    struct Block
    {
        quint64 hi = 0;
        quint64 lo = 0;
        int length = 0; // counted on the 128 bits
        int service = 0;
    };
    struct Range
    {
        quint32 first = 0;
        quint32 last = 0;
        int service = 0;
    };
    struct Key
    {
        QString key; // lower case
        int service = 0;
    };

    bool addEntry(const QString &entry, int service);
    bool addBlock(const QString &entry, int service);
    bool addRange(const QString &entry, int service);
    void buildIndex();
    QStringList forKey(QStringView key) const;
    static Block toBlock(const QHostAddress &address, int length);

    Registry m_registry = Registry::Dns;
    bool m_valid = false;
    QDateTime m_publication;
    std::vector<QStringList> m_services; // base URLs, best first
    std::vector<Key> m_keys;             // Dns, ObjectTags: sorted by key
    std::vector<Block> m_blocks;         // IPv4, IPv6: longest first
    std::vector<Range> m_ranges;         // Asn: narrowest first
};

} // namespace rdap

#endif
