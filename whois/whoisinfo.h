#ifndef VANTOR_WHOISINFO_H
#define VANTOR_WHOISINFO_H

#include <QObject>
#include <QString>

class QStatusBar;

// Where lookups go. The program always uses the defaults; tests point a
// lookup at servers they start themselves.
struct WhoisEndpoints
{
    static constexpr const char *kDefaultServer = "whois.arin.net";

    QString defaultServer = QLatin1String(kDefaultServer); // asked for every IP address
    QString domainSuffix = QStringLiteral(".whois-servers.net"); // appended to a top-level domain
    quint16 port = 43;
};

// The lookup engine. It holds the result of the last lookup: the raw reply,
// the query and the network summary.
class WhoisInfo : public QObject
{
    Q_OBJECT

public:
    explicit WhoisInfo(QStatusBar *statusBar, const WhoisEndpoints &endpoints = WhoisEndpoints());

    QStatusBar *statusBar; // not owned; may be null
    QString response;      // raw reply of the last server asked
    QString query;         // the user's query, lower-cased
    QString netRange;
    QString cidr;
    QString address;
    QString country;
    QString owner;

    const WhoisEndpoints &endpoints() const { return m_endpoints; }

private:
    WhoisEndpoints m_endpoints;
};

#endif
