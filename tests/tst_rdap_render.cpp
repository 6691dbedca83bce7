#include <QDirIterator>
#include <QFile>
#include <QtTest>

#include "rdap/render.h"
#include "whois/whoisinfo.h"

#include "messagecapture.h"

// RDAP replies (tests/data/rdap, see SOURCES.md there) as key: value text,
// and that text through the summary and the formatting the window shows.
class TestRdapRender : public QObject
{
    Q_OBJECT

private:
    static QByteArray readFixture(const QString &name)
    {
        QFile file(QStringLiteral(VANTOR_TEST_DATA "/rdap/") + name);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("missing fixture %s", qPrintable(name));
        return file.readAll();
    }

    // Lines of text that are not among the rendered lines, for the message.
    static QStringList missing(const QStringList &lines, const QStringList &wanted)
    {
        QStringList result;
        for (const QString &line : wanted) {
            if (!lines.contains(line))
                result << line;
        }
        return result;
    }

    // JSON written with single quotes, so the rows stay readable.
    static QByteArray json(const char *text) { return QByteArray(text).replace('\'', '"'); }

    // calculateCidr traces every range it sees; keep the test log readable.
    QuietDebug quiet;

private slots:
    // Lines worked out by reading each JSON file, not by running the code.
    void knownReplies_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("absentKeys");
        QTest::addColumn<QString>("registrarLink");
        QTest::addColumn<int>("redactedLines");

        // The body holds "secureDNS" twice; the last one, true, wins. The
        // abuse contact's empty name is left out: nothing is redacted here.
        QTest::newRow("registry domain") << "domain-verisign-google.com.json"
            << QStringList{"Domain Name: GOOGLE.COM", "Registry Domain ID: 2138514_DOMAIN_COM-VRSN",
                           "Creation Date: 1997-09-15T04:00:00Z", "Registry Expiry Date: 2028-09-14T04:00:00Z",
                           "Domain Status: server update prohibited", "Name Server: NS4.GOOGLE.COM",
                           "DNSSEC: signedDelegation", "Registrar: MarkMonitor Inc.", "Registrar IANA ID: 292",
                           "Registrar Abuse Contact Email: abusecomplaints@markmonitor.com",
                           "Registrar Abuse Contact Phone: +1.2083895740 (voice)", "% Terms of Use"}
            << QStringList{"Registrar Abuse Contact Name:"} << "https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM" << 0;
        // The registrar names itself only in "org"; contact_URI is no RDAP member.
        QTest::newRow("registrar domain") << "domain-registrar-markmonitor-google.com.json"
            << QStringList{"Domain Name: google.com", "Registry Expiry Date: 2028-09-13T07:00:00.000+0000",
                           "Creation Date: 1997-09-15T07:00:00.000+0000", "Registrar: MarkMonitor Inc.",
                           "Registrar IANA ID: 292", "Registrar City: Meridian",
                           "Registrar Abuse Contact Email: abusecomplaints@markmonitor.com",
                           "Registrant Organization: Google LLC", "Registrant Country: US", "DNSSEC: unsigned",
                           "port43: whois.markmonitor.com", "Admin contact_URI: https://domains.markmonitor.com/whois/",
                           "Server Name: ns4.google.com"}
            << QStringList{"Registrar Organization:"} << "" << 0;
        // Parameter names in any letter case ("Type"); a publicId of an odd type.
        QTest::newRow("Namecheap") << "domain-registrar-namecheap-bitcoin.org.json"
            << QStringList{"Registrant Phone: +507.8365503 (voice)", "Registrant Fax: fax:+51.17057182",
                           "Registrar: NAMECHEAP INC", "Abuse Contact Email: abuse@namecheap.com",
                           "NAMECHEAP INC: 1068", "DNSSEC zoneSigned: false"}
            << QStringList{"Registrant Phone: fax"} << "" << 0;
        QTest::newRow("IPv4 network") << "ip-arin-13.72.183.192.json"
            << QStringList{"NetRange: 13.64.0.0 - 13.107.255.255", "CIDR: 13.64.0.0/11, 13.96.0.0/13, 13.104.0.0/14",
                           "NetName: MSFT", "NetHandle: NET-13-64-0-0-1", "Parent: NET-13-0-0-0-0",
                           "RegDate: 2015-03-26T13:58:18-04:00", "OrgName: Microsoft Corporation", "OrgId: MSFT",
                           "Address: One Microsoft Way", "Country: United States", "OrgTechEmail: IOC@microsoft.com",
                           "OrgAdminPhone: +1-425-538-6637 (work, voice)", "OrgAbuseEmail: abuse@microsoft.com"}
            << QStringList{"arin_originas0_originautnums:"} << "" << 0;
        QTest::newRow("IPv6 network") << "ip-arin-v6-2001.4860.4860..8888.json"
            << QStringList{"NetRange: 2001:4860:: - 2001:4860:ffff:ffff:ffff:ffff:ffff:ffff", "CIDR: 2001:4860::/32",
                           "NetName: GOOGLE-IPV6", "OrgName: Google LLC", "Address: 1600 Amphitheatre Parkway",
                           "OrgAbuseEmail: network-abuse@google.com", "arin_originas0_originautnums: 15169"}
            << QStringList{} << "" << 0;
        QTest::newRow("APNIC network") << "ip-apnic-1.1.1.1.json"
            << QStringList{"NetRange: 1.1.1.0 - 1.1.1.255", "CIDR: 1.1.1.0/24", "Country: AU",
                           "AbuseEmail: helpdesk@apnic.net", "AdminFax: +61-7-3858-3199", "Country: Australia",
                           "% Routed globally by AS13335/Cloudflare"}
            << QStringList{} << "" << 0;
        QTest::newRow("AS number") << "autnum-arin-as13335.json"
            << QStringList{"ASNumber: 13335", "ASName: CLOUDFLARENET", "ASHandle: AS13335", "OrgName: Cloudflare, Inc.",
                           "OrgAbuseEmail: abuse@cloudflare.com", "OrgNOCHandle: NOC11962-ARIN"}
            << QStringList{} << "" << 0;
        QTest::newRow("entity") << "entity-arin-govi.json"
            << QStringList{"Object Class: entity", "OrgName: Govital Internet Inc.", "OrgId: GOVI", "Country: Canada",
                           "OrgAdminEmail: steve@govital.net", "NetRange: 208.90.68.0 - 208.90.71.255",
                           "CIDR: 208.90.68.0/22", "ASNumber: 393996"}
            << QStringList{} << "" << 0;
        QTest::newRow("error body") << "error-ripe-501-nameserver-not-supported.json"
            << QStringList{"Error Code: 501", "% 501 Not Implemented", "% Nameserver not supported",
                           "port43: whois.ripe.net"}
            << QStringList{} << "" << 0;
        // Removed fields show as their lines, empty ones of a redacted contact
        // as REDACTED; the tech contact's address was not redacted.
        QTest::newRow("redacted") << "synthetic/domain-rfc9537-redacted-example.com.json"
            << QStringList{"Registry Domain ID: REDACTED", "Registrant Name: REDACTED", "Registrant Organization: REDACTED",
                           "Registrant Street: REDACTED", "Registrant Postal Code: REDACTED",
                           "Registrant State/Province: QC", "Registrant Email: REDACTED", "Registrant Phone: REDACTED",
                           "Tech Name: REDACTED", "Tech City: Quebec", "Tech Email: REDACTED", "Tech Fax: REDACTED",
                           "Administrative Contact: REDACTED", "Billing Contact: REDACTED",
                           "% Redacted: Registrant Name (emptyValue: Server policy)"}
            << QStringList{"Registrar Name:"} << "" << 14;
        // Only the registrant is named, so the tech contact's empty name is no redaction.
        QTest::newRow("redacted, empty value") << "synthetic/domain-rfc9537-redacted-empty-value-example-1.net.json"
            << QStringList{"Registrant Name: REDACTED", "Registrant City: REDACTED", "Registrant Country: Canada"}
            << QStringList{"Tech Name:", "Registrant Email:"} << "" << 4;
        QTest::newRow("redacted search") << "synthetic/search-rfc9537-redacted-domains.json"
            << QStringList{"Domain Name: example1.com", "Domain Name: example2.com", "Registry Domain ID: REDACTED"}
            << QStringList{} << "" << 2;
        QTest::newRow("malformed") << "synthetic/malformed-domain-02.json"
            << QStringList{"Domain Name: something-not-real.com", "nameServers: BOOOOOM", "lang: en"}
            << QStringList{"Registry Domain ID:"} << "" << 0;
    }

    void knownReplies()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, absentKeys);
        QFETCH(QString, registrarLink);
        QFETCH(int, redactedLines);

        const rdap::Rendered rendered = rdap::render(readFixture(file));
        QVERIFY2(rendered.ok, qPrintable(rendered.error));
        const QStringList text = rendered.text.split(QLatin1Char('\n'));
        QVERIFY2(missing(text, lines).isEmpty(), qPrintable("missing: " + missing(text, lines).join(" | ")));
        for (const QString &key : absentKeys) {
            for (const QString &line : text)
                QVERIFY2(!line.startsWith(key), qPrintable(line));
        }
        QCOMPARE(rendered.registrarLink, registrarLink);
        QCOMPARE(rendered.text.count(QLatin1String(": REDACTED\n")), redactedLines);
    }

    // The summary reads the rendered text as it reads a whois reply.
    void summary_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("netRange");
        QTest::addColumn<QString>("cidr");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("address");

        // Three prefixes: no single one the summary could work out.
        QTest::newRow("ARIN v4") << "ip-arin-13.72.183.192.json" << "13.64.0.0 - 13.107.255.255" << "13.64.0.0/11, 13.96.0.0/13, 13.104.0.0/14"
                                 << "Microsoft Corporation" << "United States" << "One Microsoft Way\nRedmond\nWA\n98052";
        QTest::newRow("ARIN v6") << "ip-arin-v6-2001.4860.4860..8888.json"
                                 << "2001:4860:: - 2001:4860:ffff:ffff:ffff:ffff:ffff:ffff" << "2001:4860::/32" << "Google LLC"
                                 << "United States" << "1600 Amphitheatre Parkway\nMountain View\nCA\n94043";
        // No organisation with a name: the owner stays empty; the country is the network's code.
        QTest::newRow("APNIC") << "ip-apnic-1.1.1.1.json" << "1.1.1.0 - 1.1.1.255" << "1.1.1.0/24" << ""
                               << "Australia" << "PO Box 3646\nSouth Brisbane, QLD 4101";
        QTest::newRow("RIPE") << "ip-ripe-130.59.31.80.json" << "130.59.0.0 - 130.59.255.255" << "130.59.0.0/16" << ""
                              << "Switzerland" << "SWITCH\nWerdstrasse 2\nPostfach\n8021 Zurich";
        QTest::newRow("AS number") << "autnum-arin-as13335.json" << "" << "Unknown" << "Cloudflare, Inc."
                                   << "United States" << "101 Townsend Street\nSan Francisco\nCA\n94107";
    }

    void summary()
    {
        QFETCH(QString, file);
        QFETCH(QString, netRange);
        QFETCH(QString, cidr);
        QFETCH(QString, owner);
        QFETCH(QString, country);
        QFETCH(QString, address);

        WhoisInfo info(nullptr);
        info.response = rdap::render(readFixture(file)).text;
        info.summarise();
        QCOMPARE(info.netRange, netRange);
        QCOMPARE(info.cidr, cidr);
        QCOMPARE(info.owner, owner);
        QCOMPARE(info.country, country);
        QCOMPARE(info.address, address);
    }

    // Every recorded and synthetic body: rendered, summarised and formatted,
    // one "key: value" or comment line each.
    void everyFixture()
    {
        QDirIterator it(QStringLiteral(VANTOR_TEST_DATA "/rdap"), {QStringLiteral("*.json")}, QDir::Files,
                        QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const rdap::Rendered rendered = rdap::render(file.readAll());
            QVERIFY2(rendered.ok, qPrintable(path + ": " + rendered.error));
            QVERIFY2(rendered.text.endsWith(QLatin1Char('\n')) && !rendered.text.contains(QLatin1Char('\r')), qPrintable(path));
            for (const QString &line : QStringView(rendered.text).chopped(1).toString().split(QLatin1Char('\n'))) {
                QVERIFY2(line.isEmpty() || line.startsWith(QLatin1Char('%')) || line.contains(QLatin1String(": ")),
                         qPrintable(path + ": " + line));
            }
            WhoisInfo info(nullptr);
            info.response = rendered.text;
            info.summarise();
            QCOMPARE(info.formatText().count(QLatin1Char('\n')), info.response.count(QLatin1Char('\n')) + 1);
            ++files;
        }
        QCOMPARE(files, 31);
    }

    void hostile_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("expected"); // in the error when !ok, else a line of the text

        const auto nested = [](int levels, const char *open, const char *close, const char *middle) {
            return QByteArray(open).repeated(levels) + middle + QByteArray(close).repeated(levels);
        };
        QTest::newRow("whois text") << QByteArray("NetRange: 1.2.3.0 - 1.2.3.255\n") << false << "Reply is not JSON: ";
        QTest::newRow("empty") << QByteArray(" \r\n") << false << "Reply is not JSON: it is empty";
        QTest::newRow("array") << QByteArray("[{\"objectClassName\":\"domain\"}]") << false << "Not an RDAP reply: ";
        QTest::newRow("empty object") << QByteArray("{}") << false << "Not an RDAP reply: ";
        QTest::newRow("10000 deep") << nested(10000, "[", "]", "") << false << "Reply is not JSON: ";
        QTest::newRow("entities 400 deep")
            << "{\"objectClassName\":\"entity\"," + nested(400, "\"entities\":[{", "}]", "\"handle\":\"X\"") + "}" << true
            << "ContactContactContactContactContactContactContactContact Entity: (nested too deeply, not shown)";
        QTest::newRow("member 1000 deep") << "{\"objectClassName\":\"autnum\",\"x\":" + nested(1000, "{\"a\":", "}", "1") + "}"
                                          << true << "x.a.a.a.a.a.a.a.a.a.a.a.a.a: (nested too deeply, not shown)";
        QTest::newRow("wrong types")
            << QByteArray("{\"objectClassName\":\"domain\",\"ldhName\":42,\"handle\":null,\"nameservers\":\"ns1.example\","
                          "\"status\":\"active\",\"events\":{\"eventAction\":\"registration\",\"eventDate\":7},"
                          "\"entities\":[7,{\"roles\":\"technical\",\"vcardArray\":[\"vcard\",[[\"email\",\"{}\",\"text\",\"\"],5]]}],"
                          "\"secureDNS\":[true],\"links\":{\"href\":[]},\"notices\":\"x\"}")
            << true << "Domain Name: 42\nName Server: ns1.example\nDomain Status: active\nCreation Date: 7\nContact: 7\n"
                       "Tech vCard: 5\nDNSSEC: true\n% x";
        QTest::newRow("line ends in values")
            << QByteArray("{\"objectClassName\":\"ip network\",\"name\":\"A\\r\\nB\",\"startAddress\":\"1.2.3.0\","
                          "\"endAddress\":\"1.2.3.255\",\"remarks\":[{\"description\":[\"one\\rtwo\"]}]}")
            << true << "NetName: A  B\n% one\n% two";
        QTest::newRow("search, odd results")
            << QByteArray("{\"domainSearchResults\":[1,{\"ldhName\":\"a.example\"}],\"rdapConformance\":[]}") << true
            << "Search Result: 1\nDomain Name: a.example";
    }

    void hostile()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        QFETCH(QString, expected);

        const rdap::Rendered rendered = rdap::render(body);
        QCOMPARE(rendered.ok, ok);
        QCOMPARE(rendered.error.isEmpty(), ok);
        if (!ok) {
            QVERIFY2(rendered.error.startsWith(expected), qPrintable(rendered.error));
            QVERIFY(rendered.text.isEmpty());
            return;
        }
        QVERIFY(rendered.text.endsWith(QLatin1Char('\n')) && !rendered.text.contains(QLatin1Char('\r')));
        const QStringList lines = rendered.text.split(QLatin1Char('\n'));
        const QStringList wanted = expected.split(QLatin1Char('\n'));
        QVERIFY2(missing(lines, wanted).isEmpty(), qPrintable(rendered.text));
    }

    // Card shapes seen in the wild, inside a domain's registrant.
    void cardShapes_data()
    {
        QTest::addColumn<QByteArray>("vcardArray");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("street lines as an array")
            << json("['vcard',[['adr',{},'text',['','',['a','b'],'Paris','','75002','FR']]]]")
            << QStringList{"Registrant Street: a", "Registrant Street: b", "Registrant City: Paris", "Registrant Country: FR"};
        QTest::newRow("country code as a parameter")
            << json("['vcard',[['adr',{'cc':'DE'},'text',['','','x','Berlin','','','']]]]")
            << QStringList{"Registrant Street: x", "Registrant Country: DE"};
        QTest::newRow("label, escaped line ends")
            << json("['vcard',[['adr',{'label':'1 Main St\\\\nSpringfield\\\\nGermany'},'text',['','','','','','','']]]]")
            << QStringList{"Registrant Address: 1 Main St", "Registrant Address: Springfield", "Registrant Country: Germany"};
        QTest::newRow("label without a country")
            << json("['vcard',[['adr',{'label':'1 Main St\\nSpringfield'},'text',['','','','','','','']]]]")
            << QStringList{"Registrant Address: 1 Main St", "Registrant Address: Springfield"};
        QTest::newRow("name from its parts")
            << json("['vcard',[['n',{},'text',['Doe','Jane','','Dr.','']]]]") << QStringList{"Registrant Name: Dr. Jane Doe"};
        QTest::newRow("properties after \"vcard\"")
            << json("['vcard',['fn',{},'text','X'],['email',{},'text','x@example.net']]")
            << QStringList{"Registrant Name: X", "Registrant Email: x@example.net"};
        QTest::newRow("several values") << json("['vcard',[['nickname',{},'text','a','b']]]")
                                        << QStringList{"Registrant Nickname: a, b"};
    }

    void cardShapes()
    {
        QFETCH(QByteArray, vcardArray);
        QFETCH(QStringList, lines);
        const QByteArray body =
            json("{'objectClassName':'domain','entities':[{'roles':['registrant'],'vcardArray':") + vcardArray + "}]}";
        const rdap::Rendered rendered = rdap::render(body);
        QVERIFY2(rendered.ok, qPrintable(rendered.error));
        const QStringList text = rendered.text.split(QLatin1Char('\n'));
        QVERIFY2(missing(text, lines).isEmpty(), qPrintable(rendered.text));
        QCOMPARE(rendered.text.count(QLatin1String("Registrant Country:")), lines.last().startsWith("Registrant Country") ? 1 : 0);
    }

    // Only an RDAP record over http(s) of a domain's "related" links is the registrar's.
    void registrarLink_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("link");

        const QByteArray rdapLink = json("{'rel':'related','type':'application/rdap+json','href':'https://rdap.example/d/x'}");
        const QByteArray htmlLink = json("{'rel':'related','type':'text/html','href':'https://www.example/x'}");
        QTest::newRow("first RDAP one") << json("{'objectClassName':'domain','links':[") + htmlLink + "," + rdapLink + "]}"
                                        << "https://rdap.example/d/x";
        QTest::newRow("type with a parameter")
            << json("{'objectClassName':'domain','links':[{'rel':'Related',"
                    "'type':'application/rdap+json; charset=utf-8','href':'http://r.example/'}]}")
            << "http://r.example/";
        QTest::newRow("not http") << json("{'objectClassName':'domain','links':[{'rel':'related',"
                                          "'type':'application/rdap+json','href':'file:///etc/passwd'}]}")
                                  << "";
        QTest::newRow("only a web page") << json("{'objectClassName':'domain','links':[") + htmlLink + "]}" << "";
        QTest::newRow("not a domain") << json("{'objectClassName':'entity','links':[") + rdapLink + "]}" << "";
    }

    void registrarLink()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, link);
        QCOMPARE(rdap::render(reply).registrarLink, link);
    }

    void errorDetails_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("details");

        QTest::newRow("RIPE 501") << readFixture("error-ripe-501-nameserver-not-supported.json")
                                  << "% 501 Not Implemented\n% Nameserver not supported\n";
        QTest::newRow("a domain") << readFixture("domain-verisign-google.com.json") << "";
        QTest::newRow("not JSON") << QByteArray("<html>404</html>") << "";
        QTest::newRow("description only") << QByteArray("{\"errorCode\":404,\"description\":\"gone\\nfor good\"}")
                                          << "% gone\n% for good\n";
    }

    void errorDetails()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, details);
        QCOMPARE(rdap::errorDetails(body), details);
    }
};

QTEST_GUILESS_MAIN(TestRdapRender)
#include "tst_rdap_render.moc"
