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

// Where a new lookup goes and the line it sends there.
struct WhoisRoute
{
    QString server;
    QString line;  // what goes on the wire, ended by a single line feed
    QString query; // the line without the keyword and the line feed, for referral hops
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

    // Asks the whois server for query and follows its referrals; the reply of
    // the last server ends up in response, summarised. An empty server starts
    // a new lookup; otherwise query goes to that server as it is. Blocks the
    // calling thread until the chain has ended.
    void lookup(QString query, QString server);

    // The query as it may go on the wire: every control character a paste
    // can bring becomes a blank, and blanks at both ends go.
    static QString cleanQuery(const QString &typed);

    // The server and line for a new lookup of a lower-cased query.
    WhoisRoute route(const QString &query) const;

    // Bounds that keep a broken or hostile server from holding the lookup.
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kFirstReplyTimeoutMs = 10000;
    static constexpr int kSilenceTimeoutMs = 2000;
    static constexpr int kReplyTimeLimitMs = 30000;
    static constexpr qint64 kReplySizeLimit = 4 * 1024 * 1024;
    static constexpr int kMaxChainLength = 6;

    // Writes the message to the debug output, then shows it on the status bar.
    void showProgress(QString message);

    // The reply as the window shows and Save writes it: every "key: value"
    // line in one form, everything else as it came.
    QString formatText() const;

    // The trimmed value after the first "key:" of any of the '|'-separated
    // keys (case-insensitive), or an empty text.
    QString extractField(QString keys, QString text) const;
    // The trimmed values of every such line, joined by line feeds.
    QString extractAllFields(QString keys, QString text) const;

    // Condenses response into the summary members and adds a "CIDR:" line
    // after the range when the reply has none.
    void summarise();

    // "a.b.c.d - e.f.g.h" as a prefix from /8 to /27, or "Unknown".
    QString calculateCidr(QString range) const;

private:
    struct Reply;
    Reply exchange(const QString &server, const QString &line);
    void followChain(QString server, QString line, const QString &hopQuery);
    static QString endOfChainStatus(const Reply &reply, const QString &server);

    WhoisEndpoints m_endpoints;
};

#endif
