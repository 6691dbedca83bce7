#ifndef VANTOR_STORE_STOREPRIVATE_H
#define VANTOR_STORE_STOREPRIVATE_H

#include <QMutex>
#include <QThread>

#include <atomic>
#include <map>
#include <unordered_map>

#include "store/answerstore.h"
#include "store/connection.h"

namespace store {

struct AnswerStore::Private
{
    using Connection = detail::Connection;

    QString path;
    std::atomic<qint64> maxBytes{ kDefaultMaxBytes };

    // Held by whoever writes: the lookups of one process take turns here
    // rather than in SQLite's busy handler, which sleeps up to 100 ms a try.
    QMutex writing;
    QMutex mutex; // guards what follows
    bool looked = false;      // the file was examined in this process
    QString unavailable;      // why nothing can be kept, when the file cannot be used
    QString error;
    QStringList notices;
    bool writeFailureTold = false;
    qint64 lastUse = 0;
    // Uses not yet written, the last per key: a search writes nothing, which
    // would cost more than the search; the next answer kept writes them.
    std::unordered_map<QByteArray, qint64> uses;
    std::map<Qt::HANDLE, std::unique_ptr<Connection>> connections;

    Connection *connection();
    void lookAtFile(); // under mutex
    bool failed(const QString &reason);
    qint64 nextUse();
    // The row the statement finds, marked used; nullopt for none.
    std::optional<Answer> takeRow(Connection &c, QSqlQuery &q);
    void writeUses(Connection &c);
    void evict(Connection &c, const QByteArray &keepKey);
};

} // namespace store

#endif
