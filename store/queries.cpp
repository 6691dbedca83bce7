// Reading, writing and trimming the answers, each on the calling thread's connection.
#include <QSqlError>

#include <limits>

#include "analysis/ranges.h"
#include "store/row.h"
#include "store/storeprivate.h"

namespace store {

using detail::Connection;

namespace {

qint64 msecs(const QDateTime &t)
{
    return t.isValid() ? t.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// The lowest start a kept range that holds the address can have: kept
// ranges are at most 2^24 (IPv4) or 2^109 (IPv6) addresses wide.
QByteArray lowestStart(const QHostAddress &address)
{
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    analysis::WideAddress low = analysis::wideAddress(address);
    const int bit = 127 - (v4 ? 24 : 109); // counted from the most significant
    int borrow = 0x80 >> (bit % 8);
    for (int i = bit / 8; i >= 0 && borrow; --i) {
        const int d = int(low[i]) - borrow;
        low[i] = quint8(d & 0xff);
        borrow = d < 0 ? 1 : 0;
    }
    if (borrow) // below the lowest address; an IPv4 one may fall below the mapped block, which is harmless
        low = analysis::WideAddress{};
    return QByteArray(reinterpret_cast<const char *>(low.data()), int(low.size()));
}

qint64 pragma(QSqlQuery &q, const char *name)
{
    if (!q.exec(QLatin1String("PRAGMA ") + QLatin1String(name)) || !q.next())
        return -1;
    const qint64 value = q.value(0).toLongLong();
    q.finish();
    return value;
}

} // namespace

std::optional<Answer> AnswerStore::Private::takeRow(Connection &c, QSqlQuery &q)
{
    if (!q.exec() || !q.next()) {
        q.finish();
        return std::nullopt;
    }
    std::optional<Answer> read = detail::readAnswer(q);
    q.finish(); // ends the read, so a checkpoint need not wait for it
    // A row broken inside is no answer; a fresh lookup will replace it.
    if (!read)
        return std::nullopt;
    Answer &answer = *read;
    const qint64 when = nextUse();
    QMutexLocker lock(&mutex);
    uses[detail::textBlob(answer.key)] = when;
    const bool many = uses.size() >= 256;
    lock.unlock();
    if (many) {
        const QMutexLocker writing(&this->writing);
        writeUses(c);
    }
    return read;
}

std::optional<Answer> AnswerStore::findByKey(const QString &key, const QDateTime &notBefore)
{
    Connection *c = d->connection();
    if (!c)
        return std::nullopt;
    QSqlQuery &q = c->sql->byKey;
    q.bindValue(0, detail::textBlob(key));
    q.bindValue(1, msecs(notBefore));
    return d->takeRow(*c, q);
}

std::optional<Answer> AnswerStore::findByAddress(const QHostAddress &address, const QDateTime &notBefore)
{
    const int family = detail::familyOf(address);
    Connection *c = family ? d->connection() : nullptr;
    if (!c)
        return std::nullopt;
    QSqlQuery &q = c->sql->byRange;
    const QByteArray wanted = detail::addressBlob(address);
    q.bindValue(0, family);
    q.bindValue(1, wanted);
    q.bindValue(2, lowestStart(address));
    q.bindValue(3, wanted);
    std::optional<Answer> found = d->takeRow(*c, q);
    // The narrowest range that holds the address is the answer, or none:
    // an older copy of it means the servers must be asked, not that a wider
    // range may answer for it.
    if (found && (msecs(found->fetched) < msecs(notBefore)
                  || !analysis::rangeNarrowEnough({ found->rangeStart, found->rangeEnd })))
        return std::nullopt;
    return found;
}

bool AnswerStore::put(const Answer &answer)
{
    Connection *c = d->connection();
    if (!c) {
        QMutexLocker lock(&d->mutex);
        const QString reason = d->unavailable.isEmpty() ? d->error : d->unavailable;
        lock.unlock();
        return d->failed(reason);
    }
    const QMutexLocker writing(&d->writing);
    d->writeUses(*c);
    QSqlQuery &q = c->sql->insert;
    detail::bindAnswer(q, answer, d->nextUse());
    const bool stored = q.exec();
    const QString reason = q.lastError().databaseText();
    q.finish();
    if (!stored)
        return d->failed(reason);
    d->evict(*c, detail::textBlob(answer.key));
    return true;
}

bool AnswerStore::clear()
{
    Connection *c = d->connection();
    if (!c) {
        QMutexLocker lock(&d->mutex);
        d->error = d->unavailable.isEmpty() ? d->error : d->unavailable;
        return false;
    }
    const QMutexLocker writing(&d->writing);
    QSqlQuery q(c->db);
    if (!q.exec(QStringLiteral("DELETE FROM answers"))) {
        QMutexLocker lock(&d->mutex);
        d->error = q.lastError().databaseText();
        return false;
    }
    q.exec(QStringLiteral("PRAGMA incremental_vacuum"));
    while (q.next()) { }
    return true;
}

void AnswerStore::Private::writeUses(Connection &c)
{
    QMutexLocker lock(&mutex);
    const auto taken = std::exchange(uses, {});
    lock.unlock();
    if (taken.empty())
        return;
    // One transaction for all; an answer replaced since keeps its later time.
    QSqlQuery begin(c.db);
    begin.exec(QStringLiteral("BEGIN"));
    for (auto it = taken.cbegin(); it != taken.cend(); ++it) {
        c.sql->touch.bindValue(0, it->second);
        c.sql->touch.bindValue(1, it->first);
        c.sql->touch.exec(); // a store that cannot be written still answers
    }
    begin.exec(QStringLiteral("COMMIT"));
}

void AnswerStore::Private::evict(Connection &c, const QByteArray &keepKey)
{
    // The answers used longest ago go in batches, down to nine tenths of
    // the limit, so that eviction is not paid again on the next answer.
    QSqlQuery q(c.db);
    const qint64 limit = maxBytes;
    const qint64 pageSize = pragma(q, "page_size");
    if (pageSize <= 0 || pragma(q, "page_count") * pageSize <= limit)
        return;
    for (int round = 0; round < 8; ++round) {
        const qint64 live = (pragma(q, "page_count") - pragma(q, "freelist_count")) * pageSize;
        if (live <= limit * 9 / 10)
            break;
        if (!q.exec(QStringLiteral("SELECT count(*) FROM answers")) || !q.next())
            break;
        const qint64 rows = q.value(0).toLongLong();
        q.finish();
        if (rows <= 1)
            break;
        const qint64 excess = live - limit * 9 / 10;
        const qint64 batch = std::clamp<qint64>(rows * excess / live + 1, 1, rows - 1);
        q.prepare(QStringLiteral("DELETE FROM answers WHERE rowid IN "
                                 "(SELECT rowid FROM answers WHERE key<>? ORDER BY used LIMIT ?)"));
        q.bindValue(0, keepKey);
        q.bindValue(1, batch);
        if (!q.exec())
            break;
    }
    // Freed pages go back to the file system, and the log is folded in.
    q.exec(QStringLiteral("PRAGMA incremental_vacuum"));
    while (q.next()) { }
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    q.finish();
}

} // namespace store
