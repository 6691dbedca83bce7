#ifndef VANTOR_WHOISINFO_H
#define VANTOR_WHOISINFO_H

#include <QAbstractSocket>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "net/proxy.h"
#include "net/hop.h"
#include "route/query.h"

class QDeadlineTimer;
class QStatusBar;
class QTcpSocket;

// Where lookups go. The program always uses the defaults; tests point a
// lookup at servers they start themselves.
struct WhoisEndpoints
{
    static constexpr const char *kDefaultServer = "whois.arin.net";

    // Asked for an address, a prefix or an AS number that no registry's
    // file covers, and for what no table routes (a name without a dot,
    // words with blanks). Numbers a file covers go to their registry
    // (lookup/plan.h); where this is anything but kDefaultServer (a test's
    // own server), every number comes here instead.
    QString defaultServer = QLatin1String(kDefaultServer);
    QString domainSuffix = QStringLiteral(".whois-servers.net"); // appended to a TLD the table does not know
    QString ianaServer = QStringLiteral("whois.iana.org"); // knows every TLD's server
    quint16 port = 43;
    // Turns a server's name into its addresses, empty when the name is
    // unknown. Unset, the system's resolver does it.
    std::function<QList<QHostAddress>(const QString &name)> resolve;
    // Which addresses count as public when a hop a server chose is checked
    // (see net/address.h). Unset, the real classification decides.
    std::function<bool(const QHostAddress &)> isPublicAddress;

    // RDAP: the base URLs of the services that answer a query, best first.
    // Unset, IANA's bootstrap files decide (and are refreshed once a week
    // from rdapBootstrapBase).
    std::function<QStringList(const route::Query &query)> rdapServices;
    QString rdapBootstrapBase = QStringLiteral("https://data.iana.org/rdap/");
    // Certificates trusted besides the system's, for servers a test makes.
    QList<QSslCertificate> extraCaCertificates;
    // The proxies whois and RDAP go through (net/proxy.h): none unless a
    // front end read them from the environment or its options.
    net::ProxySettings proxy;

    // Pacing (net/pacer.h): the least time between two queries to one
    // server, where the table of spacings gives none longer. 0 turns pacing
    // off, for tests that ask their own servers many times.
    int serverSpacingMs = 1000;
    // How long a server that refused a query, or said to ask less often, is
    // left alone (with pacing on), and how long a batch waits before it asks
    // that server once more.
    int refusalHoldMs = 60000;

    // Answers kept (store/answerstore.h): false reads and writes none, as
    // tests that count what their servers are asked need.
    bool keepAnswers = true;
    QString answerStorePath; // empty: store::AnswerStore::defaultPath()
    // The clock the age of a kept answer is measured by; unset, the real one (UTC).
    std::function<QDateTime()> now;
};

// Where a new lookup goes and the line it sends there.
struct WhoisRoute
{
    route::Kind kind = route::Kind::Other;
    QString server;      // empty when no whois server is asked (see refusal)
    QString line;        // what goes on the wire, ended by a single line feed
    QString query;       // what referral hops send
    QString tld;         // domains and TLDs: the A-label TLD
    QString reducedFrom; // the name typed, where query is its registered domain
    bool viaSuffix = false; // server is made from the suffix: ask IANA when it fails
    QString refusal;     // one line on why nothing is asked, where that is so
    QString explanation; // what the result area shows then
    route::Query parsed; // the query's kind and parts, for RDAP
    quint16 port = 0;    // the first server's port, 0 for the usual
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
    bool replyIsUtf8 = false; // the reply in response came as UTF-8, and is saved so

    // How the last lookup ended and whom it asked, for front ends that
    // report more than the text.
    enum class Outcome { None, Answered, Failed, Stopped, Refused };
    struct Asked
    {
        QString server;
        QString protocol; // "whois" or "rdap"
    };
    Outcome outcome = Outcome::None;
    QString kind; // the last query's kind, as route::kindName() names it; empty for an empty query
    QList<Asked> asked;
    QString status; // the last progress message
    QList<net::HopRecord> hops; // every connection the last lookup made, in order
    // After a server refused the query, wait and ask it once more, as a
    // batch does; the window shows the refusal at once.
    bool retryRefused = false;
    // Ask this whois server (and port, 0 for the usual) first, whatever
    // the query's kind, as the whois client's -h and -p do.
    QString firstServer;
    quint16 firstPort = 0;

    // Where progress goes besides the debug output and the status bar: a
    // lookup on another thread hands its messages on through this.
    std::function<void(const QString &)> progressSink;
    // Set from any thread to end the running lookup; its waits look at it
    // at least every kStopCheckMs. The previous result is the caller's to keep.
    std::shared_ptr<const std::atomic<bool>> stopToken;

    const WhoisEndpoints &endpoints() const { return m_endpoints; }

    // Asks the whois server for query and follows its referrals; the reply of
    // the last server ends up in response, summarised. An empty server starts
    // a new lookup; otherwise query goes to that server as it is. Blocks the
    // calling thread until the chain has ended. Whois only: the choice of
    // RDAP is made above this engine (lookup/driver.h).
    void lookup(QString query, QString server);

    // The steps of lookup(), for a caller that asks RDAP as well.
    // Cleans and routes the query and resets the result; nothing when there
    // is nothing to ask (an empty or invalid query: outcome and status say so).
    std::optional<WhoisRoute> prepare(QString query, const QString &server);
    // Runs the chain from the route's server through its referrals and sets
    // the outcome. Returns the status to show at the end, or nothing where a
    // failure has been shown.
    std::optional<QString> followChain(const WhoisRoute &route);
    // The chain ended at a referral hop that failed; the earlier reply was kept.
    bool hopFailed() const { return m_hopFailed; }
    // Shows the lookup's last status, naming the registered domain asked
    // for where the status has nothing else to say.
    void finish(std::optional<QString> status, const WhoisRoute &route);
    bool stopRequested() const;

    // The query as it may go on the wire: every control character a paste
    // can bring becomes a blank, and blanks at both ends go.
    static QString cleanQuery(const QString &typed);

    // The server and line for a new lookup of a cleaned query.
    WhoisRoute route(const QString &query) const;

    // Bounds that keep a broken or hostile server from holding the lookup.
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kFirstReplyTimeoutMs = 10000;
    static constexpr int kSilenceTimeoutMs = 2000;
    static constexpr int kReplyTimeLimitMs = 30000;
    static constexpr qint64 kReplySizeLimit = 4 * 1024 * 1024;
    static constexpr int kMaxChainLength = 6;
    static constexpr int kStopCheckMs = 50;

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
    // after each line that holds the range (comments aside) when the reply
    // has none.
    void summarise();
    // Empties the summary members, which summarise() fills only where empty.
    void clearSummary();

    // "a.b.c.d - e.f.g.h" as a prefix from /8 to /27; a range written as a
    // prefix ("200.160.0.0/20", "2801:10:c000::/48") as it is; else "Unknown".
    QString calculateCidr(QString range) const;

private:
    struct Reply;
    struct Hop;
    Reply exchange(const Hop &hop, const QString &line);
    Reply talkTo(const Hop &hop, const QString &line);
    void recordHop(const Hop &hop, const Reply &reply, qint64 ms, qint64 waitedMs);
    Reply askAgain(const Hop &hop, const QString &line, const Reply &refused);
    void connectTo(QTcpSocket &socket, const Hop &hop, Reply &reply);
    bool connectToAddress(QTcpSocket &socket, const QHostAddress &address, quint16 port, const QDeadlineTimer &deadline,
                          const QString &name = QString());
    void connectDirectly(QTcpSocket &socket, const QList<QHostAddress> &addresses, quint16 port,
                         const QDeadlineTimer &deadline, Reply &reply, QAbstractSocket::SocketError &error,
                         QString &errorText);
    void connectThroughProxy(QTcpSocket &socket, const Hop &hop, const net::Proxy &proxy,
                             const QList<QHostAddress> &addresses, const QDeadlineTimer &deadline, Reply &reply);
    QByteArray readReply(QTcpSocket &socket, Reply &reply);
    bool hopAllowed(const Hop &hop, const QList<QHostAddress> &addresses, Reply &reply) const;
    std::optional<QString> walkChain(const WhoisRoute &route);
    std::optional<Hop> nextHop(const Reply &reply, const Hop &hop, const QStringList &chain, std::optional<QString> &ended);
    std::optional<QString> firstHopRefused(const Reply &reply, const Hop &hop);
    bool serverFromIana(const QString &tld, Hop &hop, std::optional<QString> &ended);
    std::optional<QString> keepEarlier(const Reply &failed, const Hop &hop, const QString &earlier, bool earlierUtf8);
    static QString endOfChainStatus(const Reply &reply, const QString &server);
    bool m_hopFailed = false; // the chain ended at a hop that failed, the earlier reply kept

    WhoisEndpoints m_endpoints;
};

#endif
