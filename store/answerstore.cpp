#include "store/answerstore.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QSqlError>
#include <QStandardPaths>
#include <QThread>

#include <chrono>

#include "store/connection.h"
#include "store/storeprivate.h"

namespace store {

using detail::Connection;
using detail::Health;

Connection *AnswerStore::Private::connection()
{
    const QMutexLocker lock(&mutex);
    if (!looked)
        lookAtFile();
    if (!unavailable.isEmpty())
        return nullptr;
    const Qt::HANDLE thread = QThread::currentThreadId();
    auto it = connections.find(thread);
    if (it == connections.end()) {
        const QString name = QStringLiteral("vantor-answers-%1-%2")
                                 .arg(quintptr(this), 0, 16)
                                 .arg(quintptr(thread), 0, 16);
        auto c = std::make_unique<Connection>(name, path);
        if (!c->open()) {
            error = c->error();
            return nullptr;
        }
        it = connections.emplace(thread, std::move(c)).first;
    }
    return it->second.get();
}

void AnswerStore::Private::lookAtFile()
{
    looked = true;
    const QString folder = QFileInfo(path).absolutePath();
    if (path.isEmpty() || !QDir().mkpath(folder)) {
        unavailable = QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder));
        return;
    }
    const QString probe = QStringLiteral("vantor-answers-probe-%1").arg(quintptr(this), 0, 16);
    detail::Examined seen = detail::examine(path, probe);
    if (seen.health == Health::Damaged) {
        // Another process may be doing the same: only one moves the file.
        QLockFile lock(path + QLatin1String(".lock"));
        lock.tryLock(10000);
        seen = detail::examine(path, probe);
        if (seen.health == Health::Damaged) {
            QString reason;
            const QString aside = detail::moveAside(path, &reason);
            if (aside.isEmpty()) {
                unavailable = QStringLiteral("the damaged file %1 cannot be moved aside: %2")
                                  .arg(QDir::toNativeSeparators(path), reason);
                return;
            }
            notices << QStringLiteral("The saved answers were damaged and have been moved aside to %1; "
                                      "a new store was started.")
                           .arg(QDir::toNativeSeparators(aside));
            seen = { Health::Empty, QString() };
        }
    }
    if (seen.health == Health::Empty) {
        Connection maker(probe, path);
        if (!maker.db.open() || !detail::createSchema(maker, &seen.reason))
            seen = { Health::Unavailable, seen.reason.isEmpty() ? maker.db.lastError().databaseText() : seen.reason };
    }
    if (seen.health == Health::Unavailable || seen.health == Health::Newer)
        unavailable = seen.reason.isEmpty() ? QStringLiteral("the file cannot be opened") : seen.reason;
}

bool AnswerStore::Private::failed(const QString &reason)
{
    const QMutexLocker lock(&mutex);
    error = reason;
    if (!writeFailureTold) {
        writeFailureTold = true;
        notices << QStringLiteral("Answers cannot be saved: %1").arg(reason);
    }
    return false;
}

qint64 AnswerStore::Private::nextUse()
{
    // Microseconds, and never the same twice in a process: the order of use
    // holds even for answers used within one clock tick.
    const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const QMutexLocker lock(&mutex);
    lastUse = std::max(now, lastUse + 1);
    return lastUse;
}

QString AnswerStore::defaultPath()
{
    // The folder the window and vantor-cli share for what they keep (the
    // RDAP bootstrap files too); the generic location, not one per program.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + QLatin1String("/Vantor/answers.sqlite");
}

std::shared_ptr<AnswerStore> AnswerStore::open(const QString &path)
{
    static QMutex mutex;
    static QHash<QString, std::weak_ptr<AnswerStore>> stores;
    const QString canonical = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    const QMutexLocker lock(&mutex);
    std::shared_ptr<AnswerStore> store = stores.value(canonical).lock();
    if (!store) {
        store.reset(new AnswerStore(canonical));
        stores.insert(canonical, store);
    }
    return store;
}

AnswerStore::AnswerStore(const QString &path)
    : d(std::make_unique<Private>())
{
    d->path = path;
}

AnswerStore::~AnswerStore()
{
    QMutexLocker lock(&d->mutex);
    const bool pending = !d->uses.empty();
    lock.unlock();
    if (Connection *c = pending ? d->connection() : nullptr) {
        const QMutexLocker writing(&d->writing);
        d->writeUses(*c);
    }
}

QString AnswerStore::path() const
{
    return d->path;
}

void AnswerStore::setMaxBytes(qint64 bytes)
{
    d->maxBytes = bytes;
}

QString AnswerStore::error() const
{
    const QMutexLocker lock(&d->mutex);
    return d->error;
}

QString AnswerStore::takeNotice()
{
    const QMutexLocker lock(&d->mutex);
    const QString notice = d->notices.join(QLatin1Char('\n'));
    d->notices.clear();
    return notice;
}

} // namespace store
