#include "store/connection.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>

namespace store::detail {

namespace {

// "VANT": the file is ours. The version counts schema changes.
constexpr int kApplicationId = 0x56414e54;
constexpr int kSchemaVersion = 2;

// SQLite's codes for a file that is not a database, or a broken one.
bool meansDamage(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26");
}

// The first value of a one-row statement; an invalid value on failure.
QVariant single(QSqlQuery &q, const QString &statement)
{
    if (!q.exec(statement) || !q.next())
        return QVariant();
    const QVariant value = q.value(0);
    q.finish();
    return value;
}

Examined examineOpen(QSqlDatabase &db)
{
    QSqlQuery q(db);
    const QVariant id = single(q, QStringLiteral("PRAGMA application_id"));
    if (!id.isValid())
        return { meansDamage(q.lastError()) ? Health::Damaged : Health::Unavailable, q.lastError().databaseText() };
    if (id.toInt() != kApplicationId) {
        const QVariant tables = single(q, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (id.toInt() == 0 && tables.isValid() && tables.toInt() == 0)
            return { Health::Empty, QString() };
        return { Health::Damaged, QStringLiteral("the file is not a store of saved answers") };
    }
    if (const int version = single(q, QStringLiteral("PRAGMA user_version")).toInt(); version != kSchemaVersion) {
        if (version > kSchemaVersion)
            return { Health::Newer, QStringLiteral("the saved answers were written by a newer version of Vantor") };
        return { Health::Damaged, QStringLiteral("the store's version is unknown") };
    }
    // SQLite itself finds a file cut short (its header counts more pages).
    const QString path = db.databaseName();
    // Reading every page costs about 1 ms per 1,000 answers, too much for
    // every start of vantor-cli: once a day is enough to find a file broken
    // inside, and a search in it meanwhile fails rather than answering.
    QFileInfo checked(path + QLatin1String(".checked"));
    if (checked.exists() && checked.lastModified().secsTo(QDateTime::currentDateTime()) < 24 * 3600)
        return { Health::Sound, QString() };
    const QVariant check = single(q, QStringLiteral("PRAGMA quick_check"));
    if (check.toString() != QLatin1String("ok"))
        return { Health::Damaged, check.isValid() ? check.toString() : q.lastError().databaseText() };
    QFile stamp(checked.filePath());
    if (stamp.open(QIODevice::WriteOnly | QIODevice::Truncate))
        stamp.close();
    return { Health::Sound, QString() };
}

} // namespace

const char kColumns[] = "key, kind, servers, protocols, fetched, body, utf8, "
                        "net_range, cidr, owner, country, address, family, range_start, range_end";

Connection::Connection(const QString &name, const QString &path)
    : name(name)
    , db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name))
{
    db.setDatabaseName(path);
    // The window and several vantor-cli processes share the file: a writer
    // waits for another rather than failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
}

Connection::~Connection()
{
    sql.reset();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString Connection::error() const
{
    return lastError;
}

bool Connection::open()
{
    if (!db.open()) {
        lastError = db.lastError().databaseText();
        return false;
    }
    QSqlQuery pragma(db);
    // WAL lets readers go on while one process writes; NORMAL syncs at
    // checkpoints only, which loses no committed answer on a crash of the program.
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    pragma.exec(QStringLiteral("PRAGMA journal_size_limit=4194304"));
    // The upper pages of the indexes stay in memory; no memory mapping,
    // whose read errors would end the program instead of failing a search.
    pragma.exec(QStringLiteral("PRAGMA cache_size=-8192"));
    sql = std::make_unique<Statements>(db);
    // Rows read once and in order need no copy kept by Qt.
    for (QSqlQuery *q : { &sql->byKey, &sql->byRange, &sql->touch, &sql->insert })
        q->setForwardOnly(true);
    const QString columns = QString::fromLatin1(kColumns);
    const bool prepared =
        sql->byKey.prepare(QStringLiteral("SELECT %1 FROM answers WHERE key=? AND fetched>=?").arg(columns))
        // Registry ranges nest or stand apart, so walking down from the
        // address, the first range that reaches it is the narrowest; among
        // copies of one range the newest comes first. Only a range that
        // starts at most one widest-kept block below the address can hold it.
        && sql->byRange.prepare(QStringLiteral("SELECT %1 FROM answers WHERE family=? AND range_start<=? "
                                               "AND range_start>=? AND range_end>=? "
                                               "ORDER BY range_start DESC, range_end ASC, fetched DESC LIMIT 1")
                                    .arg(columns))
        && sql->touch.prepare(QStringLiteral("UPDATE answers SET used=max(used, ?) WHERE key=?"))
        && sql->insert.prepare(QStringLiteral("INSERT OR REPLACE INTO answers(%1, used) "
                                              "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                                   .arg(columns));
    if (!prepared) {
        lastError = sql->byKey.lastError().databaseText() + sql->insert.lastError().databaseText();
        sql.reset();
        db.close();
        return false;
    }
    return true;
}

Examined examine(const QString &path, const QString &connectionName)
{
    if (!QFileInfo::exists(path))
        return { Health::Empty, QString() };
    Connection probe(connectionName, path);
    if (!probe.db.open())
        return { Health::Unavailable, probe.db.lastError().databaseText() };
    return examineOpen(probe.db);
}

bool createSchema(Connection &c, QString *reason)
{
    QSqlQuery q(c.db);
    // Settable only before the first table: pages freed by eviction can then
    // be given back to the file system without rewriting the whole file.
    q.exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"));
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.finish();
    // Texts are kept as UTF-16 so that they come back exactly, even with
    // characters no UTF-8 can carry; ranges as 16 bytes in network order
    // (IPv4 mapped), which order like the addresses.
    const QStringList statements = {
        QStringLiteral("BEGIN IMMEDIATE"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS answers (key BLOB PRIMARY KEY NOT NULL, kind BLOB, servers BLOB, "
                       "protocols BLOB, fetched INTEGER NOT NULL, used INTEGER NOT NULL, body BLOB, utf8 INTEGER, "
                       "net_range BLOB, cidr BLOB, owner BLOB, country BLOB, address BLOB, "
                       "family INTEGER, range_start BLOB, range_end BLOB)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS answers_by_range "
                       "ON answers(family, range_start, range_end DESC, fetched)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS answers_by_use ON answers(used)"),
        QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId),
        QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion),
        QStringLiteral("COMMIT"),
    };
    for (const QString &statement : statements) {
        if (!q.exec(statement)) {
            *reason = q.lastError().databaseText();
            q.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return true;
}

QString moveAside(const QString &path, QString *reason)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path + QLatin1String(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QLatin1String(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    QFile file(path);
    if (!file.rename(target)) {
        *reason = file.errorString();
        return QString();
    }
    QFile::remove(path + QLatin1String(".checked"));
    for (const QLatin1String suffix : { QLatin1String("-wal"), QLatin1String("-shm") }) {
        if (QFileInfo::exists(path + suffix))
            QFile::rename(path + suffix, target + suffix);
    }
    return target;
}

} // namespace store::detail
