#include <QDirIterator>
#include <QFile>
#include <QtTest>

#include "analysis/facts.h"
#include "rdap/facts.h"
#include "rdap/render.h"
#include "whois/replytext.h"

// The facts a user looks for, read from recorded replies (tests/data): whois
// text through the table of keys, RDAP through its JSON.
class TestFacts : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile file(QStringLiteral(VANTOR_TEST_DATA "/") + path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static analysis::Facts factsOf(const QString &path, const QString &kind)
    {
        if (path.endsWith(QLatin1String(".json")))
            return rdap::factsOf(read(path));
        bool utf8 = false;
        return analysis::whoisFacts(decodeReply(read(path), false, &utf8), kind);
    }

    static QString dump(const analysis::Facts &facts)
    {
        QStringList lines;
        for (const analysis::Fact &f : facts.items)
            lines << f.name + QLatin1Char('=') + f.values.join(QLatin1Char('|'));
        return lines.join(QLatin1String("; "));
    }

private slots:
    // Values read in each reply by hand. "facts" holds name=value, several
    // values joined by '|'; "absent" names facts the reply does not give.
    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("facts");
        QTest::addColumn<QStringList>("absent");
        const QString ns = QStringLiteral("name_servers=ns1.google.com|ns2.google.com|ns3.google.com|ns4.google.com");

        QTest::newRow("gTLD registry") << "whois/whois.verisign-grs.com/google.com_2020.txt" << "domain"
            << QStringList{ "domain=google.com", "domain_ascii=google.com", "registrar=MarkMonitor Inc.",
                            "registrar_iana_id=292", "registered=1997-09-15T04:00:00Z", "updated=2019-09-09T15:39:04Z",
                            "expires=2028-09-14T04:00:00Z", ns, "dnssec=unsigned", "abuse_email=abusecomplaints@markmonitor.com",
                            "abuse_phone=+1.2083895740",
                            "status=clientDeleteProhibited|clientTransferProhibited|clientUpdateProhibited|"
                            "serverDeleteProhibited|serverTransferProhibited|serverUpdateProhibited" }
            << QStringList{ "registrant_org", "range" };
        QTest::newRow("gTLD registrar") << "whois/whois.markmonitor.com/google.com.txt" << "domain"
            << QStringList{ "registrar=MarkMonitor, Inc.", "expires=2020-09-13T21:00:00-0700", "registrant_org=Google Inc.",
                            "registrant_country=United States", "registered=1997-09-15T00:00:00-0700" }
            << QStringList{ "cidr" };
        QTest::newRow(".de") << "whois/whois.denic.de/google.de_2020.txt" << "domain"
            << QStringList{ "domain=google.de", ns, "status=connect", "updated=2018-03-12T21:44:25+01:00" }
            << QStringList{ "registrar", "expires", "registered" };
        QTest::newRow(".uk") << "whois/whois.nic.uk/registered.txt" << "domain"
            << QStringList{ "domain=google.co.uk", "registrant_org=Google Inc.", ns, "registered=1999-02-14",
                            "expires=2015-02-14", "updated=2014-01-13",
                            "registrar=Markmonitor Inc. t/a Markmonitor [Tag = MARKMONITOR]" }
            << QStringList{ "status" };
        QTest::newRow(".fr") << "whois/whois.nic.fr/registered.txt" << "domain"
            << QStringList{ "domain=google.fr", "status=ACTIVE", "registrar=MARKMONITOR Inc.", "expires=2017-12-30",
                            "registered=2000-07-27", "updated=2016-12-30", ns }
            << QStringList{ "country" };
        QTest::newRow(".jp") << "whois/whois.jprs.jp/google.co.jp_utf8.txt" << "domain"
            << QStringList{ "domain=google.co.jp", QString::fromUtf8("registrant_org=グーグル株式会社"), ns,
                            "registered=2001-03-22", "updated=2018-04-01", "status=Connected" }
            << QStringList{ "expires" };
        QTest::newRow(".tw") << "whois/whois.twnic.net.tw/google.tw_2021.txt" << "domain"
            << QStringList{ "domain=google.tw", "registrant_org=Google Inc.", ns, "registrar=Markmonitor, Inc.",
                            "status=clientUpdateProhibited|clientTransferProhibited|clientDeleteProhibited" }
            << QStringList{};
        QTest::newRow("ARIN") << "whois/whois.arin.net/n_20.0.0.0_microsoft.txt" << "ipv4"
            << QStringList{ "range=20.0.0.0 - 20.31.255.255", "cidr=20.0.0.0/11", "name=MSFT", "handle=NET-20-0-0-0-1",
                            "type=Direct Assignment", "holder=Microsoft Corporation (MSFT)", "registered=2017-10-18",
                            "country=United States" }
            << QStringList{ "domain", "registrar" };
        QTest::newRow("RIPE") << "whois/whois.ripe.net/62.239.237.1_bt.txt" << "ipv4"
            << QStringList{ "range=62.239.237.0 - 62.239.237.255", "cidr=62.239.237.0/24", "name=BT-CORPORATE",
                            "holder=UDC", "country=United Kingdom", "type=ASSIGNED PA", "registry=RIPE",
                            "registered=2008-08-14T14:54:30Z", "abuse_email=protect@bt.com" }
            << QStringList{ "handle" };
        QTest::newRow("APNIC") << "whois/whois.apnic.net/110.8.0.1_skbroadband.txt" << "ipv4"
            << QStringList{ "range=110.8.0.0 - 110.15.255.255", "cidr=110.8.0.0/13", "name=broadNnet",
                            "holder=SK Broadband Co Ltd", "registry=APNIC", "abuse_email=irt@nic.or.kr",
                            "updated=2017-02-03T00:38:16Z" }
            << QStringList{};
        QTest::newRow("AFRINIC IPv6") << "whois/whois.afrinic.net/2001-43f8-7b0--_ipv6.txt" << "ipv6"
            << QStringList{ "range=2001:43f8:07b0::/48", "cidr=2001:43f8:07b0::/48", "name=Tespok", "holder=TESPOK",
                            "country=Kenya", "registry=AFRINIC", "type=ASSIGNED PI" }
            << QStringList{ "abuse_email" };
        QTest::newRow("LACNIC") << "whois/whois.lacnic.net/200.68.34.57_chile.txt" << "ipv4"
            << QStringList{ "range=200.68.34.56/29", "cidr=200.68.34.56/29", "handle=CL-AAPS3-LACNIC",
                            "holder=Agencia de Aduanas Patricio Sesnich Stewart y Comp", "country=Chile",
                            "registered=2010-01-28", "updated=2010-01-28", "type=reallocated" }
            << QStringList{ "abuse_email" };
        QTest::newRow("AS over RDAP") << "rdap/autnum-arin-as13335.json" << "asn"
            << QStringList{ "asn=AS13335", "name=CLOUDFLARENET", "holder=Cloudflare, Inc.", "registered=2010-07-14T18:35:57-04:00",
                            "abuse_email=abuse@cloudflare.com" }
            << QStringList{ "cidr", "expires" };
        QTest::newRow("RDAP network") << "rdap/ip-ripe-130.59.31.80.json" << "ipv4"
            << QStringList{ "range=130.59.0.0 - 130.59.255.255", "cidr=130.59.0.0/16", "name=SWITCH-LAN", "type=LEGACY",
                            "country=Switzerland", "abuse_email=abuse@switch.ch", "updated=2021-10-19T07:12:42Z" }
            << QStringList{ "registered" };
        QTest::newRow("RDAP domain") << "rdap/domain-registrar-markmonitor-google.com.json" << "domain"
            << QStringList{ "registrar=MarkMonitor Inc.", "registrar_iana_id=292", "registrant_org=Google LLC",
                            "registrant_country=United States", "dnssec=unsigned", "abuse_email=abusecomplaints@markmonitor.com",
                            "expires=2028-09-13T07:00:00.000+0000" }
            << QStringList{};
        QTest::newRow("RDAP redacted") << "rdap/synthetic/domain-rfc9537-redacted-example.com.json" << "domain"
            << QStringList{ "domain=example.com", "registrar=Example Registrar Inc.", "registrant_org=redacted",
                            "registrant_country=Canada" }
            << QStringList{};
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(QStringList, facts);
        QFETCH(QStringList, absent);
        const analysis::Facts got = factsOf(file, kind);
        const QString all = dump(got);
        QCOMPARE(got.subject, analysis::factSubject(kind));
        for (const QString &fact : facts) {
            const QString name = fact.section(QLatin1Char('='), 0, 0);
            const analysis::Fact *f = got.find(name);
            QVERIFY2(f, qPrintable(name + " missing: " + all));
            QCOMPARE(f->values.join(QLatin1Char('|')), fact.section(QLatin1Char('='), 1));
        }
        for (const QString &name : absent)
            QVERIFY2(!got.find(name), qPrintable(name + " guessed: " + all));
        QCOMPARE(got.expires.isValid(), got.find(QStringLiteral("expires")) != nullptr);
    }

    // An RDAP answer kept as its rendered text gives the facts its JSON gave.
    void keptRdapText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::newRow("domain") << "rdap/domain-verisign-google.com.json" << "domain";
        QTest::newRow("redacted") << "rdap/synthetic/domain-rfc9537-redacted-example.com.json" << "domain";
        QTest::newRow("network") << "rdap/ip-ripe-130.59.31.80.json" << "ipv4";
        QTest::newRow("AS") << "rdap/autnum-arin-as13335.json" << "asn";
    }
    void keptRdapText()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        const QByteArray body = read(file);
        const analysis::Facts json = rdap::factsOf(body);
        const analysis::Facts text = analysis::whoisFacts(rdap::render(body).text, kind);
        for (const char *name : { "domain", "asn", "range", "cidr", "registrar", "registrar_iana_id", "registrant_org",
                                  "status", "expires", "name_servers", "dnssec", "abuse_email", "abuse_phone" }) {
            const analysis::Fact *a = json.find(QLatin1String(name));
            const analysis::Fact *b = text.find(QLatin1String(name));
            QVERIFY2(bool(a) == bool(b), name);
            if (a)
                QCOMPARE(b->values, a->values);
        }
        QVERIFY(json.items.size() > 5);
    }

    // Every recorded RDAP reply, damaged ones too, gives facts or none, and never crashes.
    void everyRdapReply()
    {
        QDirIterator it(QStringLiteral(VANTOR_TEST_DATA "/rdap"), { QStringLiteral("*.json") }, QDir::Files,
                        QDirIterator::Subdirectories);
        int count = 0;
        for (; it.hasNext(); ++count) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray body = file.readAll();
            const analysis::Facts f = rdap::factsOf(body);
            QCOMPARE(f.subject.isEmpty(), f.isEmpty());
            rdap::factsOf(body.left(body.size() / 2));
        }
        QVERIFY(count > 20);
    }

    void expiryNote_data()
    {
        QTest::addColumn<QString>("expires");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("urgency");
        using U = analysis::ExpiryUrgency;
        QTest::newRow("far") << "2027-03-01" << "in 80 days" << int(U::None);
        QTest::newRow("30 days") << "2027-01-10" << "in 30 days" << int(U::None);
        QTest::newRow("29 days") << "2027-01-09" << "in 29 days" << int(U::Soon);
        QTest::newRow("tomorrow") << "2026-12-12T01:00:00Z" << "in 1 day" << int(U::Soon);
        QTest::newRow("today, later") << "2026-12-11T23:00:00Z" << "today" << int(U::Soon);
        QTest::newRow("yesterday") << "2026-12-10" << "1 day ago" << int(U::Past);
        QTest::newRow("long past") << "2026-09-12" << "90 days ago" << int(U::Past);
        QTest::newRow("none") << "" << "" << int(U::None);
    }
    void expiryNote()
    {
        QFETCH(QString, expires);
        QFETCH(QString, note);
        QFETCH(int, urgency);
        const QDateTime now(QDate(2026, 12, 11), QTime(12, 0), Qt::UTC);
        analysis::ExpiryUrgency u = analysis::ExpiryUrgency::Past;
        QCOMPARE(analysis::expiryNote(analysis::dateTimeOf(expires), now, &u), note);
        QCOMPARE(int(u), urgency);
    }
};

QTEST_GUILESS_MAIN(TestFacts)
#include "tst_facts.moc"
