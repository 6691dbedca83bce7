#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <random>

#include "analysis/ranges.h"
#include "rdap/render.h"
#include "store/answerstore.h"

using store::Answer;
using store::AnswerStore;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 12, 10), QTime(15, 30), Qt::UTC);

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Letters that do not compress, so that a test knows how much the file holds.
QString noise(int length, unsigned seed)
{
    std::mt19937 random(seed);
    QString text(length, Qt::Uninitialized);
    for (QChar &c : text)
        c = QChar(char16_t(u'!' + random() % 90));
    return text;
}

Answer answer(const QString &key, const QString &text = QStringLiteral("text"), const QString &range = QString())
{
    Answer a;
    a.key = key;
    a.kind = QStringLiteral("ipv4");
    a.servers = QStringList{ "whois.iana.org", "whois.ripe.net" };
    a.protocols = QStringList{ "whois", "rdap" };
    a.fetched = kNow;
    a.text = a.response = text;
    if (const qsizetype dash = range.indexOf(u'-'); dash > 0) {
        a.rangeStart = QHostAddress(range.left(dash));
        a.rangeEnd = QHostAddress(range.mid(dash + 1));
    }
    return a;
}

// Every field, so that a comparison names the one that differs.
QStringList fields(const std::optional<Answer> &a)
{
    if (!a)
        return { "none" };
    return { a->key, a->kind, a->servers.join('|'), a->protocols.join('|'), a->fetched.toString(Qt::ISODateWithMs),
             a->response, QString::number(a->utf8), a->text, a->netRange, a->cidr, a->owner, a->country, a->address,
             a->rangeStart.toString(), a->rangeEnd.toString() };
}

// What a second process does when the test runs itself with --write.
int writeAnswers(const QString &path, const QString &prefix, int count)
{
    const auto s = AnswerStore::open(path);
    for (int i = 0; i < count; ++i) {
        if (!s->put(answer(prefix + QString::number(i))))
            return 1;
    }
    return 0;
}

// A small tmpfs, for a disk that fills up; unmounted when done.
struct SmallDisk
{
    QTemporaryDir dir;
    bool mounted = QProcess::execute(QStringLiteral("mount"), { "-t", "tmpfs", "-o", "size=160k", "vantor-test", dir.path() }) == 0;
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), { dir.path() });
    }
};

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }

    void ranges_data();
    void ranges();
    void find_data();
    void find();
    void roundTrip();
    void leastRecentlyUsedGoesFirst();
    void damagedFile_data();
    void damagedFile();
    void writeFails_data();
    void writeFails();
    void threadsAndProcesses();
};

void TestStore::ranges_data()
{
    QTest::addColumn<QString>("text"); // or "@file" under tests/data
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("range"); // "start-end", empty for none
    QTest::addColumn<bool>("narrow");
    const QString arin = QStringLiteral("NetRange:  8.0.0.0 - 8.127.255.255\nOrgName: Level 3\n\n"
                                        "NetRange:  8.8.8.0 - 8.8.8.255\nOrgName: Google\n");
    QTest::newRow("parent first") << arin << "8.8.8.8" << "8.8.8.0-8.8.8.255" << true;
    QTest::newRow("only the parent holds it") << arin << "8.8.9.0" << "8.0.0.0-8.127.255.255" << true;
    QTest::newRow("just outside") << arin << "8.128.0.0" << "" << false;
    QTest::newRow("child first, no blanks, any case")
        << "INETNUM: 10.1.2.0-10.1.2.127\ninetnum: 10.0.0.0 - 10.255.255.255\n" << "10.1.2.127" << "10.1.2.0-10.1.2.127"
        << true;
    QTest::newRow("prefix") << "inetnum:     200.68.34.56/29\n" << "200.68.34.57" << "200.68.34.56-200.68.34.63" << true;
    QTest::newRow("abbreviated prefix") << "inetnum: 200.160/20\n" << "200.160.15.1" << "200.160.0.0-200.160.15.255" << true;
    QTest::newRow("IPv6 prefix") << "inet6num: 2001:db8::/32\n" << "2001:db8:ffff::1"
                                 << "2001:db8::-2001:db8:ffff:ffff:ffff:ffff:ffff:ffff" << true;
    QTest::newRow("IPv6 wider than a /19") << "inet6num: 2000::/3\n" << "2001:db8::1"
                                           << "2000::-3fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff" << false;
    QTest::newRow("a /8 is narrow enough") << "NetRange: 4.0.0.0 - 4.255.255.255\n" << "4.1.2.3" << "4.0.0.0-4.255.255.255" << true;
    QTest::newRow("wider than a /8") << "NetRange: 4.0.0.0 - 5.0.0.0\n" << "4.1.2.3" << "4.0.0.0-5.0.0.0" << false;
    QTest::newRow("not at the line's start") << "remarks: inetnum: 1.0.0.0 - 1.0.0.255\n" << "1.0.0.1" << "" << false;
    QTest::newRow("other family, broken, reversed")
        << "inet6num: ::/0\ninetnum: 1.0.0.x - 1.0.0.255\ninetnum: 1.0.0.255 - 1.0.0.0\n" << "1.0.0.1" << "" << false;
    QTest::newRow("RDAP, IPv6") << "@rdap/ip-arin-v6-2001.4860.4860..8888.json" << "2001:4860:4860::8888"
                                << "2001:4860::-2001:4860:ffff:ffff:ffff:ffff:ffff:ffff" << true;
    QTest::newRow("RDAP, IPv4") << "@rdap/ip-ripe-130.59.31.80.json" << "130.59.31.80" << "130.59.0.0-130.59.255.255" << true;
    QTest::newRow("two inetnums") << "@whois/whois.apnic.net/210.107.73.73_two-inetnum.txt" << "210.107.73.73"
                                  << "210.107.0.0-210.107.127.255" << true;
    QTest::newRow("CRLF, IPv6 inetnum") << "@whois/whois.lacnic.net/2801-10-c000--_ipv6_crlf.txt" << "2801:10:c000::1"
                                        << "2801:10:c000::-2801:10:c000:ffff:ffff:ffff:ffff:ffff" << true;
}

void TestStore::ranges()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(QString, range);
    QFETCH(bool, narrow);
    if (text.startsWith(u'@')) {
        const QByteArray bytes = readFile(QStringLiteral(VANTOR_TEST_DATA "/") + text.mid(1));
        QVERIFY(!bytes.isEmpty());
        text = text.endsWith(QLatin1String(".json")) ? rdap::render(bytes).text : QString::fromUtf8(bytes);
    }
    const auto found = analysis::smallestRangeHolding(text, QHostAddress(address));
    QCOMPARE(found ? found->start.toString() + u'-' + found->end.toString() : QString(), range);
    QCOMPARE(found && analysis::rangeNarrowEnough(*found), narrow);
}

void TestStore::find_data()
{
    QTest::addColumn<QString>("query"); // a key, or an address for a search by range
    QTest::addColumn<QString>("expected"); // the key of the answer, empty for none
    QTest::newRow("23 hours old") << "example.com" << "example.com";
    QTest::newRow("25 hours old") << "old.example" << "";
    QTest::newRow("unknown key") << "example.org" << "";
    QTest::newRow("narrowest range") << "8.8.8.200" << "8.8.8.8";
    QTest::newRow("only the parent holds it") << "8.100.0.1" << "8.1.1.1";
    QTest::newRow("newest copy of a range") << "8.8.4.200" << "8.8.4.9";
    QTest::newRow("narrowest range too old") << "9.9.9.1" << "";
    QTest::newRow("outside every range") << "8.128.0.0" << "";
    QTest::newRow("lowest addresses") << "::9" << "::1";
    QTest::newRow("IPv6") << "2001:db8:5::1" << "2001:db8::1";
    QTest::newRow("IPv4 is not IPv4-mapped IPv6") << "::ffff:8.8.8.8" << "";
}

void TestStore::find()
{
    QFETCH(QString, query);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const auto s = AnswerStore::open(dir.filePath(QStringLiteral("answers.sqlite")));
    const struct { const char *key, *range; int hoursOld; } kept[] = {
        { "example.com", "", 23 }, { "old.example", "", 25 },
        { "8.1.1.1", "8.0.0.0-8.127.255.255", 1 }, { "8.8.8.8", "8.8.8.0-8.8.8.255", 23 },
        { "8.8.4.4", "8.8.4.0-8.8.4.255", 3 }, { "8.8.4.9", "8.8.4.0-8.8.4.255", 2 },
        { "9.0.0.1", "9.0.0.0-9.255.255.255", 1 }, { "9.9.9.9", "9.9.9.0-9.9.9.255", 25 },
        { "::1", "::-::ffff", 0 }, { "2001:db8::1", "2001:db8::-2001:db8:ffff::", 0 },
    };
    for (const auto &k : kept) {
        Answer a = answer(QString::fromLatin1(k.key), QStringLiteral("text"), QString::fromLatin1(k.range));
        a.fetched = kNow.addSecs(-3600 * k.hoursOld);
        QVERIFY2(s->put(a), qPrintable(s->error()));
    }
    const QDateTime notBefore = kNow.addSecs(-24 * 3600);
    const QHostAddress address(query);
    const auto found = address.isNull() ? s->findByKey(query, notBefore) : s->findByAddress(address, notBefore);
    QCOMPARE(found ? found->key : QString(), expected);
    QCOMPARE(s->takeNotice(), QString());
}

void TestStore::roundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("answers.sqlite"));
    Answer utf8 = answer(QStringLiteral("例え.jp"), QStringLiteral("ドメイン名: 例え.jp\r\n😀 \u200f\0 end"),
                         QStringLiteral("192.0.2.0-192.0.2.255"));
    utf8.utf8 = true;
    utf8.response = utf8.text + QChar(0xd800) + QLatin1String(" lone surrogate");
    Answer latin1 = answer(QStringLiteral("café.is"), QString::fromLatin1("Nafn: caf\xe9 \xff\x80\xa0\n"));
    latin1.netRange = QStringLiteral("2001:db8:: - 2001:db8::ff");
    latin1.cidr = latin1.owner = latin1.country = latin1.address = QString::fromLatin1("\xc5sa \xbf?");
    latin1.rangeStart = QHostAddress(QStringLiteral("2001:db8::"));
    latin1.rangeEnd = QHostAddress(QStringLiteral("2001:db8::ff"));
    latin1.fetched = kNow.addMSecs(-1);
    {
        const auto s = AnswerStore::open(path);
        QVERIFY(s->put(utf8));
        QVERIFY(s->put(latin1));
    }
    // Read back by a store opened afresh, as a later run would.
    const auto s = AnswerStore::open(path);
    QCOMPARE(fields(s->findByKey(utf8.key, kNow)), fields(utf8));
    QCOMPARE(s->findByKey(utf8.key, kNow)->response, utf8.response);
    QCOMPARE(fields(s->findByAddress(QHostAddress(QStringLiteral("2001:db8::7")), QDateTime())), fields(latin1));
}

void TestStore::leastRecentlyUsedGoesFirst()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("answers.sqlite"));
    const qint64 limit = 96 * 1024;
    const QString big = noise(4000, 1); // about 3.5 kB compressed, as text and as reply
    {
        const auto s = AnswerStore::open(path);
        s->setMaxBytes(limit);
        for (int i = 0; i < 10; ++i)
            QVERIFY(s->put(answer(QStringLiteral("a%1").arg(i), big)));
        // a0 is used before every new answer, a1 never again.
        for (int i = 10; i < 40; ++i) {
            QVERIFY(s->findByKey(QStringLiteral("a0"), QDateTime()));
            QVERIFY(s->put(answer(QStringLiteral("a%1").arg(i), big)));
        }
        QVERIFY(!s->findByKey(QStringLiteral("a1"), QDateTime()));
        QVERIFY(s->findByKey(QStringLiteral("a39"), QDateTime()));
    }
    // The last connection folds the log into the file as it closes.
    QVERIFY(!QFileInfo::exists(path + QLatin1String("-wal")));
    QVERIFY2(QFileInfo(path).size() <= limit, qPrintable(QString::number(QFileInfo(path).size())));
}

void TestStore::damagedFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("scribbled over") << "scribbled";
    QTest::newRow("random bytes") << "random";
    QTest::newRow("another program's database") << "foreign";
}

void TestStore::damagedFile()
{
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("answers.sqlite"));
    if (damage == QLatin1String("truncated") || damage == QLatin1String("scribbled")) {
        const auto s = AnswerStore::open(path);
        for (int i = 0; i < 20; ++i)
            QVERIFY(s->put(answer(QString::number(i), noise(8000, i))));
    } else if (damage == QLatin1String("foreign")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (body TEXT)")));
        db.close();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (damage == QLatin1String("truncated")) {
        QVERIFY(file.resize(file.size() / 2));
        // Checked a moment ago, so the whole file is not read again.
        QFile stamp(path + QLatin1String(".checked"));
        QVERIFY(stamp.open(QIODevice::WriteOnly));
    }
    // Past the first pages, where the header and the table's root are.
    if (damage == QLatin1String("scribbled"))
        QVERIFY(file.seek(file.size() / 2));
    std::mt19937 random(7);
    for (int i = 0; damage != QLatin1String("truncated") && damage != QLatin1String("foreign") && i < 4096; ++i)
        file.putChar(char(random()));
    file.close();
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    const QByteArray before = readFile(path);

    const auto s = AnswerStore::open(path);
    QVERIFY(!s->findByKey(QStringLiteral("1"), QDateTime()));
    QVERIFY(s->put(answer(QStringLiteral("new"))));
    QVERIFY(s->findByKey(QStringLiteral("new"), QDateTime()));
    const QString notice = s->takeNotice();
    QVERIFY2(notice.startsWith(QLatin1String("The saved answers were damaged and have been moved aside to ")), qPrintable(notice));
    QCOMPARE(s->takeNotice(), QString());
    // Nothing is lost: the old bytes are kept under the name the notice gives.
    const QStringList aside = QDir(dir.path()).entryList({ "answers.sqlite.damaged-*" });
    QCOMPARE(aside.size(), 1);
    QVERIFY(notice.contains(aside.first()));
    QCOMPARE(readFile(dir.filePath(aside.first())), before);
}

void TestStore::writeFails_data()
{
    QTest::addColumn<bool>("fullDisk"); // else a file where the folder should be
    QTest::newRow("folder cannot be made") << false;
    QTest::newRow("disk full") << true;
}

void TestStore::writeFails()
{
    QFETCH(bool, fullDisk);
    SmallDisk disk;
    if (fullDisk && !disk.mounted)
        QSKIP("no right to mount a small tmpfs");
    QVERIFY(QFile(disk.dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
    const QString folder = disk.dir.filePath(fullDisk ? QStringLiteral("cache") : QStringLiteral("file/cache"));
    const auto s = AnswerStore::open(folder + QLatin1String("/answers.sqlite"));
    QVERIFY(!s->findByKey(QStringLiteral("a"), QDateTime()));
    int stored = 0;
    while (stored < 50 && s->put(answer(QString::number(stored), QString(8000, u'x'))))
        ++stored;
    QVERIFY(stored < 50);
    QVERIFY(!s->error().isEmpty());
    QCOMPARE(s->takeNotice(), QStringLiteral("Answers cannot be saved: ") + s->error());
    QVERIFY(!s->put(answer(QStringLiteral("b"), QString(8000, u'x'))));
    QCOMPARE(s->takeNotice(), QString());
    // What was kept before the disk filled up is still there.
    QCOMPARE(bool(s->findByKey(QStringLiteral("0"), QDateTime())), stored > 0);
}

void TestStore::threadsAndProcesses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("answers.sqlite"));
    const int count = 150;
    QList<QProcess *> writers;
    for (const QString prefix : { "p", "q" }) {
        writers << new QProcess(this);
        writers.last()->start(QCoreApplication::applicationFilePath(),
                              { "--write", path, prefix, QString::number(count) });
    }
    const auto s = AnswerStore::open(path);
    QList<QThread *> threads;
    std::atomic<int> failures{ 0 };
    for (int t = 0; t < 3; ++t) {
        threads << QThread::create([&, t] {
            for (int i = 0; i < count; ++i) {
                const QString key = QStringLiteral("t%1-%2").arg(t).arg(i);
                if (!s->put(answer(key)) || !s->findByKey(key, QDateTime()))
                    ++failures;
            }
        });
        threads.last()->start();
    }
    for (QThread *t : threads) {
        QVERIFY(t->wait(60000));
        delete t;
    }
    for (QProcess *p : writers) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitCode(), 0);
    }
    QCOMPARE(failures.load(), 0);
    int found = 0;
    for (const QString prefix : { "p", "q", "t0-", "t1-", "t2-" }) {
        for (int i = 0; i < count; ++i)
            found += bool(s->findByKey(prefix + QString::number(i), QDateTime()));
    }
    QCOMPARE(found, 5 * count);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--write")
        return writeAnswers(QString::fromLocal8Bit(argv[2]), QString::fromLatin1(argv[3]), atoi(argv[4]));
    TestStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store.moc"
