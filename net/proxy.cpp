#include "net/proxy.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>

namespace net {
namespace {

// The first of the names that is set and not empty, and which one it was.
QString firstSet(const QProcessEnvironment &environment, const QStringList &names, QString *which)
{
    for (const QString &name : names) {
        const QString value = environment.value(name).trimmed();
        if (!value.isEmpty()) {
            *which = name;
            return value;
        }
    }
    return QString();
}

// One NO_PROXY entry against a server's address.
bool addressMatches(const QHostAddress &address, const QString &entry)
{
    if (entry.contains(QLatin1Char('/'))) {
        const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
        return !subnet.first.isNull() && address.isInSubnet(subnet);
    }
    return QHostAddress(entry).isEqual(address, QHostAddress::ConvertV4MappedToIPv4);
}

// One NO_PROXY entry against a server's name: the name itself or one below it.
bool nameMatches(const QString &host, QString entry)
{
    if (entry.startsWith(QLatin1Char('.')))
        entry.remove(0, 1);
    if (entry.endsWith(QLatin1Char('.')))
        entry.chop(1);
    if (entry.isEmpty())
        return false;
    return host.compare(entry, Qt::CaseInsensitive) == 0
           || (host.size() > entry.size() && host.endsWith(entry, Qt::CaseInsensitive)
               && host.at(host.size() - entry.size() - 1) == QLatin1Char('.'));
}

// An entry's port, where it has one ("example.com:8443", "192.0.2.1:43");
// 0 for none. An IPv6 address has more than one colon and no port.
quint16 entryPort(QString *entry)
{
    const qsizetype colon = entry->lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || entry->indexOf(QLatin1Char(':')) != colon)
        return 0;
    bool ok = false;
    const uint port = entry->mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return 0; // left as it is, it matches no name
    entry->truncate(colon);
    return quint16(port);
}

} // namespace

QString Proxy::name() const
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

std::optional<Proxy> parseProxy(const QString &text, QString *error)
{
    const QString trimmed = text.trimmed();
    // Without a scheme, "proxy.example:3128" would read as scheme and path.
    const QUrl url(trimmed.contains(QLatin1String("://")) ? trimmed : QLatin1String("http://") + trimmed,
                   QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const QString shown = url.toString(QUrl::RemovePassword);
    Proxy p;
    if (scheme == QLatin1String("socks5h")) {
        p.kind = Proxy::Kind::Socks5;
    } else if (scheme == QLatin1String("socks5")) {
        p.kind = Proxy::Kind::Socks5;
        p.resolvesNames = false;
    } else if (scheme == QLatin1String("http")) {
        p.kind = Proxy::Kind::Http;
    } else {
        *error = QLatin1String("unsupported proxy scheme ") + (scheme.isEmpty() ? QStringLiteral("''") : scheme)
                 + QLatin1String(" (socks5h://, socks5:// and http:// are)");
        return std::nullopt;
    }
    if (!url.isValid() || url.host().isEmpty()) {
        *error = QLatin1String("not a proxy URL: ") + (url.isValid() ? shown : QStringLiteral("cannot be read"));
        return std::nullopt;
    }
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment()
        || url.port() == 0) {
        *error = QLatin1String("not a proxy URL: ") + shown;
        return std::nullopt;
    }
    p.host = url.host();
    p.port = quint16(url.port(1080));
    p.user = url.userName(QUrl::FullyDecoded);
    p.password = url.password(QUrl::FullyDecoded);
    return p;
}

bool bypassesProxy(const QString &noProxy, const QString &host, quint16 port)
{
    const QString list = noProxy.trimmed();
    if (list == QLatin1String("*"))
        return true;
    QString name = host;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    const QHostAddress address(name);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (QString entry : list.split(separators, Qt::SkipEmptyParts)) {
        const quint16 only = entryPort(&entry);
        if (only != 0 && only != port)
            continue;
        if (address.isNull() ? nameMatches(name, entry) : addressMatches(address, entry))
            return true;
    }
    return false;
}

ProxySettings ProxySettings::fromEnvironment(const QProcessEnvironment &environment)
{
    ProxySettings s;
    s.m_all.url = firstSet(environment, { "all_proxy", "ALL_PROXY" }, &s.m_all.from);
    s.m_https.url = firstSet(environment, { "https_proxy", "HTTPS_PROXY" }, &s.m_https.from);
    s.m_http.url = firstSet(environment, { "http_proxy" }, &s.m_http.from);
    QString unused;
    s.m_noProxy = firstSet(environment, { "no_proxy", "NO_PROXY" }, &unused);
    return s;
}

void ProxySettings::setProxy(const QString &url, const QString &option)
{
    m_all = m_https = m_http = Source{ option, url.trimmed() };
}

ProxyChoice ProxySettings::choose(const Source &source, const QString &host, quint16 port) const
{
    ProxyChoice choice;
    if (source.url.isEmpty() || bypassesProxy(m_noProxy, host, port))
        return choice;
    QString error;
    choice.proxy = parseProxy(source.url, &error);
    if (!choice.proxy)
        choice.error = source.from + QLatin1String(": ") + error;
    return choice;
}

ProxyChoice ProxySettings::forWhois(const QString &host, quint16 port) const
{
    ProxyChoice choice = choose(m_all, host, port);
    if (choice.proxy && choice.proxy->kind == Proxy::Kind::Http) {
        choice.skipped = choice.proxy->name();
        choice.proxy.reset();
    }
    return choice;
}

ProxyChoice ProxySettings::forUrl(const QUrl &url) const
{
    const QString scheme = url.scheme().toLower();
    const Source &own = scheme == QLatin1String("https") ? m_https : scheme == QLatin1String("http") ? m_http : Source();
    const quint16 port = quint16(url.port(scheme == QLatin1String("http") ? 80 : 443));
    return choose(own.url.isEmpty() ? m_all : own, url.host(), port);
}

QStringList ProxySettings::problems() const
{
    QStringList lines;
    for (const Source *s : { &m_all, &m_https, &m_http }) {
        QString error;
        if (s->url.isEmpty() || parseProxy(s->url, &error))
            continue;
        const QString line = s->from + QLatin1String(": ") + error;
        if (!lines.contains(line))
            lines.append(line);
    }
    return lines;
}

Resolved proxyAddresses(const Proxy &proxy, const HostResolver &resolve, QDeadlineTimer deadline,
                        const std::function<bool()> &stopRequested, QList<QHostAddress> *addresses)
{
    if (QHostAddress literal; literal.setAddress(proxy.host)) {
        addresses->append(literal);
        return Resolved::Found;
    }
    return resolveHost(proxy.host, resolve, deadline, stopRequested, addresses);
}

QNetworkProxy qtProxy(const Proxy &proxy, const QHostAddress &address)
{
    const auto type = proxy.kind == Proxy::Kind::Http ? QNetworkProxy::HttpProxy : QNetworkProxy::Socks5Proxy;
    return QNetworkProxy(type, address.toString(), proxy.port, proxy.user, proxy.password);
}

QString proxyFailure(ProxyFault fault, const Proxy &proxy, const QString &server, const QString &detail)
{
    const QString named = QLatin1String("Proxy ") + proxy.name();
    switch (fault) {
    case ProxyFault::Refused:
        return named + QLatin1String(" refused the connection");
    case ProxyFault::NoAnswer:
        return named + QLatin1String(" did not answer");
    case ProxyFault::Authentication:
        return proxy.user.isEmpty() ? named + QLatin1String(" asks for a user name and password")
                                    : named + QLatin1String(" did not accept the user name and password");
    case ProxyFault::Unreachable:
        return named + QLatin1String(" could not reach ") + server;
    case ProxyFault::UnknownName:
        return QLatin1String("Unknown proxy server: ") + proxy.host;
    case ProxyFault::Broken:
        break;
    }
    return named + QLatin1String(" failed") + (detail.isEmpty() ? QString() : QLatin1String(": ") + detail);
}

QString proxyReason(ProxyFault fault)
{
    switch (fault) {
    case ProxyFault::Refused: return QStringLiteral("the proxy refused the connection");
    case ProxyFault::NoAnswer: return QStringLiteral("the proxy did not answer");
    case ProxyFault::Authentication: return QStringLiteral("the proxy wants other credentials");
    case ProxyFault::Unreachable: return QStringLiteral("the proxy could not reach it");
    case ProxyFault::UnknownName: return QStringLiteral("unknown proxy server");
    case ProxyFault::Broken: break;
    }
    return QStringLiteral("the proxy failed");
}

} // namespace net
