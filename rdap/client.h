#ifndef VANTOR_RDAP_CLIENT_H
#define VANTOR_RDAP_CLIENT_H

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>

// One RDAP request over HTTPS, blocking the calling thread the way a whois
// exchange does: the caller's thread runs a short event loop of its own
// until the reply is in, a bound is broken or the caller asks to stop.
// Certificates are checked against the system's CA store; verification is
// never switched off.
namespace rdap {

struct FetchOptions
{
    QList<QSslCertificate> extraCaCertificates; // trusted besides the system's (tests' own servers)
    std::function<bool()> stopRequested;        // looked at every 50 ms
    int connectTimeoutMs = 10000;               // to connect and finish TLS
    int totalTimeoutMs = 30000;
    qint64 sizeLimit = 4 * 1024 * 1024;
    int maxRedirects = 5;
};

struct Fetched
{
    enum Outcome { Answered, Failed, Stopped };
    Outcome outcome = Failed;
    int status = 0;      // the HTTP status when one came, else 0
    QByteArray body;     // the reply's body (an error body too)
    QString retryAfter;  // a 429's Retry-After, as sent
    QString message;     // Failed: one line on what went wrong
    QUrl url;            // where the reply came from, redirects followed
};

Fetched fetch(const QUrl &url, const FetchOptions &options);

// "Vantor/<version>", sent with every request.
QByteArray userAgent();

} // namespace rdap

#endif
