#include <QtTest>

#include "route/query.h"
#include "route/tldtable.h"

using namespace route;

// Query kinds and the tables behind them. The registrable-domain rows go
// through the Public Suffix List that libpsl loads; the TLD rows through the
// embedded table.
class TestRoute : public QObject
{
    Q_OBJECT

private slots:
    void classifies_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("kind"); // kindName(), but "verbatim" for Verbatim
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail"); // tld for Tld/Domain, registry for Handle
        QTest::addColumn<QString>("reducedFrom");

        const QString none;
        // Names, cut down to what a registry holds.
        QTest::newRow("below co.uk") << "www.example.co.uk" << "domain" << "example.co.uk" << "uk" << "www.example.co.uk";
        QTest::newRow("below .com") << "Mail.Google.com" << "domain" << "google.com" << "com" << "mail.google.com";
        QTest::newRow("four labels") << "a.b.c.d" << "domain" << "c.d" << "d" << "a.b.c.d";
        QTest::newRow("trailing dot") << "example.com." << "domain" << "example.com" << "com" << none;
        QTest::newRow("public suffix") << "co.uk" << "domain" << "co.uk" << "uk" << none;
        QTest::newRow("private suffix") << "foo.github.io" << "domain" << "github.io" << "io" << "foo.github.io";
        QTest::newRow("exception rule") << "www.city.kawasaki.jp" << "domain" << "city.kawasaki.jp" << "jp" << "www.city.kawasaki.jp";
        QTest::newRow("unknown tld") << "foo.bar.notatld" << "domain" << "bar.notatld" << "notatld" << "foo.bar.notatld";
        QTest::newRow("idn") << "Bücher.de" << "domain" << "xn--bcher-kva.de" << "de" << none;
        QTest::newRow("idn below") << "www.bücher.de" << "domain" << "xn--bcher-kva.de" << "de" << "www.bücher.de";
        QTest::newRow("ace below") << "WWW.XN--BCHER-KVA.DE" << "domain" << "xn--bcher-kva.de" << "de" << "www.xn--bcher-kva.de";
        QTest::newRow("idn tld") << "пример.рф" << "domain" << "xn--e1afmkfd.xn--p1ai" << "xn--p1ai" << none;
        QTest::newRow("idn tld below") << "mail.пример.рф" << "domain" << "xn--e1afmkfd.xn--p1ai" << "xn--p1ai" << "mail.пример.рф";
        QTest::newRow("ace suffix") << "a.b.xn--55qx5d.cn" << "domain" << "b.xn--55qx5d.cn" << "cn" << "a.b.xn--55qx5d.cn";
        // Top-level domains alone, and names without a dot that are none.
        QTest::newRow("com") << "com" << "tld" << "com" << "com" << none;
        QTest::newRow("COM.") << "COM." << "tld" << "com" << "com" << none;
        QTest::newRow("dev") << "dev" << "tld" << "dev" << "dev" << none;
        QTest::newRow("brand tld") << "google" << "tld" << "google" << "google" << none;
        QTest::newRow("as, no number") << "AS" << "tld" << "as" << "as" << none;
        QTest::newRow("unicode tld") << "рф" << "tld" << "xn--p1ai" << "xn--p1ai" << none;
        QTest::newRow("localhost") << "LocalHost" << "other" << "localhost" << none << none;
        QTest::newRow("mail address") << "a@b.com" << "other" << "a@b.com" << none << none;
        QTest::newRow("empty") << "" << "invalid" << "" << none << none;
        // Addresses and prefixes.
        QTest::newRow("ipv4") << "192.0.2.1" << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("octet too big") << "999.1.1.1" << "invalid" << "999.1.1.1" << none << none;
        QTest::newRow("three octets") << "1.2.3" << "invalid" << "1.2.3" << none << none;
        QTest::newRow("octal-looking") << "010.1.1.1" << "invalid" << "010.1.1.1" << none << none;
        QTest::newRow("number") << "1234" << "invalid" << "1234" << none << none;
        QTest::newRow("v4 port") << "192.0.2.1:80" << "invalid" << "192.0.2.1:80" << none << none;
        QTest::newRow("v6 port") << "[2001:db8::1]:43" << "invalid" << "[2001:db8::1]:43" << none << none;
        QTest::newRow("v6 zone") << "fe80::1%eth0" << "invalid" << "fe80::1%eth0" << none << none;
        QTest::newRow("ipv6") << "2001:DB8::1" << "ipv6" << "2001:db8::1" << none << none;
        QTest::newRow("v4 prefix") << "8.8.8.0/24" << "cidr" << "8.8.8.0/24" << none << none;
        QTest::newRow("v4 /33") << "1.2.3.4/33" << "invalid" << "1.2.3.4/33" << none << none;
        QTest::newRow("v6 prefix") << "2001:DB8::/32" << "cidr" << "2001:db8::/32" << none << none;
        QTest::newRow("v6 /129") << "2001:db8::/129" << "invalid" << "2001:db8::/129" << none << none;
        // AS numbers and registry handles.
        QTest::newRow("AS15169") << "AS15169" << "asn" << "15169" << none << none;
        QTest::newRow("as15169") << "as15169" << "asn" << "15169" << none << none;
        QTest::newRow("largest asn") << "as4294967295" << "asn" << "4294967295" << none << none;
        QTest::newRow("asn too big") << "as4294967296" << "other" << "as4294967296" << none << none;
        QTest::newRow("arin handle") << "ABUSE5250-ARIN" << "handle" << "abuse5250-arin" << "arin" << none;
        QTest::newRow("apnic handle") << "foo-AP" << "handle" << "foo-ap" << "apnic" << none;
        QTest::newRow("lacnic handle") << "nic-hdl-lacnic" << "handle" << "nic-hdl-lacnic" << "lacnic" << none;
        QTest::newRow("suffix alone") << "-ripe" << "other" << "-ripe" << none << none;
        // Words with blanks go as typed.
        QTest::newRow("ripe flags") << "-B 193.0.0.1" << "verbatim" << "-B 193.0.0.1" << none << none;
        QTest::newRow("two words") << "two Words" << "verbatim" << "two Words" << none << none;
        // What a paste or a CJK keyboard brings is read as what it shows.
        QTest::newRow("zero-width space") << u"192.0.2.1\u200B"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("soft hyphen") << u"192.0.2.1\u00AD"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("full-width digits") << u"\uFF11\uFF19\uFF12.0.2.1"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("ideographic full stop") << u"192\u30020.2.1"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("half-width ideographic stop") << u"192\uFF610.2.1"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("joiner after an address") << u"192.0.2.1\u200D"_qs << "ipv4" << "192.0.2.1" << none << none;
        QTest::newRow("byte order mark") << u"\uFEFF2001:db8::1"_qs << "ipv6" << "2001:db8::1" << none << none;
        QTest::newRow("full-width AS number") << u"\uFF21\uFF33\uFF11\uFF15"_qs << "asn" << "15" << none << none;
        QTest::newRow("full-width domain") << u"\uFF45\uFF58\uFF41\uFF4D\uFF50\uFF4C\uFF45\uFF0E\uFF43\uFF4F\uFF4D"_qs
                                           << "domain" << "example.com" << "com" << none;
        QTest::newRow("zero-width space in a domain") << u"exam\u200Bple.com"_qs << "domain" << "example.com" << "com" << none;
        QTest::newRow("letters, no dot") << u"\u6771\u4EAC\u6771\u4EAC"_qs << "other" << u"\u6771\u4EAC\u6771\u4EAC"_qs
                                         << none << none;
        // A non-joiner inside a Persian name is part of it (punycode worked out apart).
        QTest::newRow("non-joiner in a name") << u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645.ir"_qs << "domain"
                                              << "xn--mgbn2ecje63gr19l.ir" << "ir" << none;
        QTest::newRow("invisible only") << u"\u200B"_qs << "invalid" << u"\u200B"_qs << none << none;
        // Words are not normalised: an option or a name keeps its letters.
        QTest::newRow("words keep full-width letters") << u"-B \uFF11\uFF19\uFF13.0.0.1"_qs << "verbatim"
                                                       << u"-B \uFF11\uFF19\uFF13.0.0.1"_qs << none << none;
    }
    void classifies()
    {
        QFETCH(QString, query);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        QFETCH(QString, reducedFrom);

        const Query q = classify(query);
        QCOMPARE(q.kind == Kind::Verbatim ? QStringLiteral("verbatim") : kindName(q.kind), kind);
        QCOMPARE(q.text, text);
        QCOMPARE(q.kind == Kind::Handle ? q.registry : q.tld, detail);
        QCOMPARE(q.reducedFrom, reducedFrom);
        if (q.kind == Kind::Handle)
            QVERIFY(!handleServer(q.registry).isEmpty());
        else
            QVERIFY(q.registry.isEmpty());
    }

    void kindNames()
    {
        QCOMPARE(kindName(Kind::Verbatim), QStringLiteral("other"));
        QCOMPARE(kindName(Kind::Invalid), QStringLiteral("invalid"));
    }

    void tldServers_data()
    {
        QTest::addColumn<QString>("tld");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("whois");
        QTest::addColumn<QString>("rdap");
        QTest::addColumn<QString>("web");

        QTest::newRow("com") << "com" << true << "whois.verisign-grs.com" << "https://rdap.verisign.com/com/v1/" << "";
        QTest::newRow("any case") << "COM" << true << "whois.verisign-grs.com" << "https://rdap.verisign.com/com/v1/" << "";
        QTest::newRow("rdap only") << "dev" << true << "" << "https://pubapi.registry.google/rdap/" << "";
        QTest::newRow("idn") << "xn--p1ai" << true << "whois.tcinet.ru" << "" << "";
        QTest::newRow("all three") << "vi" << true << "virgil.nic.vi" << "https://rdap.nic.vi/" << "https://secure.nic.vi/whois-lookup/";
        QTest::newRow("first line") << "aaa" << true << "whois.nic.aaa" << "https://rdap.nic.aaa/" << "";
        QTest::newRow("last line, none") << "zw" << true << "" << "" << "";
        QTest::newRow("unknown") << "notatld" << false << "" << "" << "";
        QTest::newRow("header line") << "# tld" << false << "" << "" << "";
    }
    void tldServers()
    {
        QFETCH(QString, tld);
        QFETCH(bool, listed);
        QFETCH(QString, whois);
        QFETCH(QString, rdap);
        QFETCH(QString, web);

        const TldServers *servers = route::tldServers(tld);
        QCOMPARE(servers != nullptr, listed);
        if (!servers)
            return;
        QCOMPARE(servers->whois, whois);
        QCOMPARE(servers->rdap, rdap);
        QCOMPARE(servers->web, web);
    }

    void handleServers_data()
    {
        QTest::addColumn<QString>("registry");
        QTest::addColumn<QString>("server");
        QTest::newRow("arin") << "arin" << "whois.arin.net";
        QTest::newRow("ripe") << "ripe" << "whois.ripe.net";
        QTest::newRow("apnic") << "apnic" << "whois.apnic.net";
        QTest::newRow("lacnic") << "lacnic" << "whois.lacnic.net";
        QTest::newRow("afrinic") << "afrinic" << "whois.afrinic.net";
        QTest::newRow("handle suffix, not a registry") << "ap" << "";
        QTest::newRow("none") << "" << "";
    }
    void handleServers()
    {
        QFETCH(QString, registry);
        QFETCH(QString, server);
        QCOMPARE(handleServer(registry), server);
    }
};

QTEST_GUILESS_MAIN(TestRoute)
#include "tst_route.moc"
