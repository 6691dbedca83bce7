#ifndef VANTOR_ANSWERSTORE_H
#define VANTOR_ANSWERSTORE_H

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace store {

// One answer as a lookup first showed it.
struct Answer
{
    QString key;      // the cleaned, lower-case query (registrable domain, AS number, handle, TLD, address, prefix)
    QString kind;     // route::kindName() of the query ("ipv4", "domain", ...)
    QStringList servers;   // the servers asked, in order ("whois.ripe.net")
    QStringList protocols; // per server: "whois" or "rdap"
    QDateTime fetched;     // UTC, when the servers answered
    QString response; // the last server's reply, as decoded (what Save writes)
    bool utf8 = false;  // the reply came as UTF-8 (Save writes it so)
    QString text;     // the result text exactly as shown
    QString netRange, cidr, owner, country, address; // the summary
    // For an address answer: the range it stands for (both set, same family), else null addresses.
    QHostAddress rangeStart, rangeEnd;
};

class AnswerStore
{
public:
    static constexpr qint64 kDefaultMaxBytes = 100LL * 1000 * 1000;

    // The store in the user's cache folder: <GenericCacheLocation>/Vantor/answers.sqlite,
    // shared by the window and vantor-cli (the folder of the RDAP bootstrap files).
    static QString defaultPath();
    // One store per file per process, opened on first use; safe from any thread.
    static std::shared_ptr<AnswerStore> open(const QString &path);

    // A stored answer for key fetched at or after notBefore; marks it used.
    std::optional<Answer> findByKey(const QString &key, const QDateTime &notBefore);
    // The answer whose range is the smallest that holds address, fetched at or after notBefore.
    std::optional<Answer> findByAddress(const QHostAddress &address, const QDateTime &notBefore);
    // Keeps an answer (replacing one with the same key); false when it cannot, with error() saying why.
    bool put(const Answer &answer);
    // Empties the store; false with error() when it cannot.
    bool clear();
    // Why the last write failed, e.g. "attempt to write a readonly database".
    QString error() const;
    // A message the user should see once, then empty: the file was damaged and moved aside, or
    // "Answers cannot be saved: <reason>" the first time a write failed in this process.
    QString takeNotice();

    // Most bytes the file may hold; the answers used longest ago go first.
    void setMaxBytes(qint64 bytes);
    QString path() const;

    ~AnswerStore();
    AnswerStore(const AnswerStore &) = delete;
    AnswerStore &operator=(const AnswerStore &) = delete;

private:
    explicit AnswerStore(const QString &path);
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace store
#endif
