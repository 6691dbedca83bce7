#ifndef VANTOR_STORE_CONNECTION_H
#define VANTOR_STORE_CONNECTION_H

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

// The answer store's file: its connections, its schema, and what is done
// with a file that is not a sound store of ours.
namespace store::detail {

// One thread's connection to the file, with its statements prepared once.
// Qt lets a connection serve only the thread that made it; closing it is
// left to whoever holds it last, when no query of it is alive.
struct Connection
{
    Connection(const QString &name, const QString &path);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open();           // opens the file and prepares the statements
    QString error() const; // why the last open or statement failed

    const QString name;
    QSqlDatabase db;
    struct Statements
    {
        explicit Statements(const QSqlDatabase &db) : byKey(db), byRange(db), touch(db), insert(db) {}
        QSqlQuery byKey, byRange, touch, insert;
    };
    std::unique_ptr<Statements> sql;
    QString lastError;
};

// What a first look at the file found.
enum class Health {
    Sound,      // a store of ours
    Empty,      // no file yet, or an empty one: a store is made in it
    Damaged,    // not a database, a broken one, or another program's
    Newer,      // a store of a later version: left alone
    Unavailable // cannot be opened at all (the folder, the file's rights)
};
struct Examined
{
    Health health;
    QString reason;
};
Examined examine(const QString &path, const QString &connectionName);

// Makes the tables of an empty file; false with reason on failure.
bool createSchema(Connection &c, QString *reason);

// Renames the file and its -wal and -shm companions with the date, and
// returns the new name of the file; empty with reason on failure.
QString moveAside(const QString &path, QString *reason);

// The statements' columns, in the order Connection's queries return them.
extern const char kColumns[];

} // namespace store::detail

#endif
