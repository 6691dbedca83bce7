#include <QtTest>

#include "messagecapture.h"
#include "whois/whoisinfo.h"

// Field extraction, the CIDR calculation and the network summary.
class TestAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void extractField_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        const QString referral = QStringLiteral("ReferralServer|Whois Server");
        QTest::newRow("referral with CR") << referral
            << "NetName: X\r\nReferralServer:   whois://whois.ripe.net:43\r\nOrg: Y\r\n"
            << "whois://whois.ripe.net:43";
        QTest::newRow("first line wins") << referral
            << "Whois Server: a.example\nReferralServer: b.example\n" << "a.example";
        QTest::newRow("inside a longer name, any case") << referral
            << "Registrar WHOIS Server: whois.registrar.example\n" << "whois.registrar.example";
        QTest::newRow("first value empty") << referral
            << "ReferralServer:   \nReferralServer: later.example\n" << "";
        QTest::newRow("colons stay in the value") << QStringLiteral("descr")
            << "descr: see http://example.net:8080/x\n" << "see http://example.net:8080/x";
        QTest::newRow("leftmost name of a line") << QStringLiteral("descr")
            << "remarks: see descr: X\n" << "X";
        QTest::newRow("blank before colon") << QStringLiteral("inetnum|NetRange")
            << "NetRange : 192.0.2.0 - 192.0.2.255\n" << "";
        QTest::newRow("upper case") << QStringLiteral("inetnum|NetRange")
            << "NETRANGE: 192.0.2.0 - 192.0.2.255" << "192.0.2.0 - 192.0.2.255";
        QTest::newRow("name at the very end") << QStringLiteral("descr") << "x\ndescr:" << "";
        // Letters beyond ASCII whose case folds to the key's: U+017F LONG S, U+212A KELVIN SIGN.
        QTest::newRow("long s") << QStringLiteral("descr") << u"de\u017Fcr: X\n"_qs << "X";
        QTest::newRow("Kelvin sign, last letter") << QStringLiteral("Whois Server|Network") << u"NETWOR\u212A: Y\n"_qs << "Y";
        QTest::newRow("no match") << referral << "nothing here\n" << "";
        QTest::newRow("empty text") << referral << "" << "";
    }
    void extractField()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        WhoisInfo info(nullptr);
        QCOMPARE(info.extractField(keys, text), expected);
    }

    void extractAllFields_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        const QString owner = QStringLiteral("descr|OrgName|owner|responsible");
        QTest::newRow("two values") << owner << "descr: Alpha\ndescr: Beta\n" << "Alpha\nBeta";
        QTest::newRow("empty value in the middle") << owner << "descr: A\ndescr:\ndescr: B" << "A\n\nB";
        QTest::newRow("empty values at the ends vanish") << owner << "descr:\ndescr: B\ndescr:  \n" << "B";
        QTest::newRow("names interleave in text order") << owner
            << "OrgName: Org\nremarks: x\nowner: Own\ndescr: D\n" << "Org\nOwn\nD";
        QTest::newRow("address in order") << QStringLiteral("address|City|StateProv|PostalCode")
            << "Address: 1 Main St\r\nCity: Springfield\r\nStateProv: IL\r\nPostalCode: 62701\r\nCountry: US\r\n"
            << "1 Main St\nSpringfield\nIL\n62701";
        QTest::newRow("no match") << owner << "netname: X\n" << "";
        // Letters whose code holds the byte of ':' or of a line feed are neither.
        QTest::newRow("colon and line feed bytes in other letters") << owner
            << u"\u3A00:descr\u3A0A: W\ndescr: X\u0A00y\u0A3A:\ndescr: Z"_qs << u"X\u0A00y\u0A3A:\nZ"_qs;
    }
    void extractAllFields()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        WhoisInfo info(nullptr);
        QCOMPARE(info.extractAllFields(keys, text), expected);
    }

    void calculateCidr_data()
    {
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("messages");

        auto quoted = [](const QString &s) { return QStringLiteral("\"") + s + QStringLiteral("\" "); };
        const QString fail = QStringLiteral("Couldn't calculate CIDR ");

        QTest::newRow("/24") << "192.0.2.0 - 192.0.2.255" << "192.0.2.0/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.0/24") };
        QTest::newRow("/8") << "10.0.0.0 - 10.255.255.255" << "10.0.0.0/8"
            << QStringList{ quoted("Diff: 16777215"), quoted("Calculated CIDR: 10.0.0.0/8") };
        QTest::newRow("/23") << "192.0.2.0 - 192.0.3.255" << "192.0.2.0/23"
            << QStringList{ quoted("Diff: 511"), quoted("Calculated CIDR: 192.0.2.0/23") };
        QTest::newRow("/27") << "192.0.2.0 - 192.0.2.31" << "192.0.2.0/27"
            << QStringList{ quoted("Diff: 31"), quoted("Calculated CIDR: 192.0.2.0/27") };
        QTest::newRow("too small") << "192.0.2.0 - 192.0.2.15" << "Unknown"
            << QStringList{ quoted("Diff: 15"), fail };
        QTest::newRow("single address") << "192.0.2.7 - 192.0.2.7" << "Unknown"
            << QStringList{ quoted("Diff: 0"), fail };
        QTest::newRow("twice a /8") << "10.0.0.0 - 11.255.255.255" << "Unknown"
            << QStringList{ quoted("Diff: 33554431"), fail };
        QTest::newRow("everything, unsigned") << "0.0.0.0 - 255.255.255.255" << "Unknown"
            << QStringList{ quoted("Diff: 4294967295"), fail };
        QTest::newRow("across 128.0.0.0 is the plain distance") << "127.255.255.0 - 128.0.0.255" << "127.255.255.0/23"
            << QStringList{ quoted("Diff: 511"), quoted("Calculated CIDR: 127.255.255.0/23") };
        QTest::newRow("no power of two") << "192.0.2.0 - 192.0.2.199" << "Unknown"
            << QStringList{ quoted("Diff: 199"), fail };
        QTest::newRow("alignment not checked") << "192.0.2.1 - 192.0.3.0" << "192.0.2.1/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.1/24") };
        QTest::newRow("reverse order prints the first end") << "192.0.2.255 - 192.0.2.0" << "192.0.2.255/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.255/24") };
        QTest::newRow("no blanks") << "192.0.2.0-192.0.2.255" << "192.0.2.0/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.0/24") };
        QTest::newRow("double dash") << "192.0.2.0 -- 192.0.2.255" << "192.0.2.0/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.0/24") };
        QTest::newRow("leading zeros are dropped") << "192.000.002.000 - 192.0.2.255" << "192.0.2.0/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: 192.0.2.0/24") };
        QTest::newRow("blank end counts as 0") << "192.0.2.0 - " << "Unknown"
            << QStringList{ quoted("Diff: 3221225984"), fail };
        // Only dotted quads of four decimal numbers count; anything else is 0.
        QTest::newRow("short form is no address") << "10 - 0.0.0.255" << "/24"
            << QStringList{ quoted("Diff: 255"), quoted("Calculated CIDR: /24") };
        QTest::newRow("octet above 255") << "192.0.2.256 - 0.0.0.63" << "/26"
            << QStringList{ quoted("Diff: 63"), quoted("Calculated CIDR: /26") };
        QTest::newRow("IPv6 ends") << "2001:db8:: - 2001:db8::ff" << "Unknown"
            << QStringList{ quoted("Diff: 0"), fail };
        // A range written as a prefix is its own CIDR, whatever its length.
        QTest::newRow("prefix form") << "192.0.2.0/24" << "192.0.2.0/24" << QStringList();
        QTest::newRow("LACNIC's prefix") << "200.160.0.0/20" << "200.160.0.0/20" << QStringList();
        QTest::newRow("a /29 prefix") << "200.68.34.56/29" << "200.68.34.56/29" << QStringList();
        QTest::newRow("IPv6 prefix") << "2801:10:c000::/48" << "2801:10:c000::/48" << QStringList();
        QTest::newRow("prefix too long") << "192.0.2.0/33" << "Unknown" << QStringList();
        QTest::newRow("IPv6 prefix too long") << "2001:db8::/129" << "Unknown" << QStringList();
        QTest::newRow("no address before the slash") << "x/24" << "Unknown" << QStringList();
        QTest::newRow("no length") << "192.0.2.0/" << "Unknown" << QStringList();
        QTest::newRow("three addresses") << "192.0.2.0 - 192.0.2.127 - 192.0.2.255" << "Unknown" << QStringList();
        QTest::newRow("empty") << "" << "Unknown" << QStringList();
    }
    void calculateCidr()
    {
        QFETCH(QString, range);
        QFETCH(QString, expected);
        QFETCH(QStringList, messages);
        WhoisInfo info(nullptr);
        MessageCapture capture;
        QCOMPARE(info.calculateCidr(range), expected);
        QCOMPARE(capture.take(), messages);
    }

    void summaryOfOneParagraph()
    {
        WhoisInfo info(nullptr);
        info.response = QStringLiteral(
            "inetnum:        192.0.2.0 - 192.0.2.255   \r\n"
            "netname:        EXAMPLE-NET\r\n"
            "descr:          Example Networks\r\n"
            "descr:          Second line\r\n"
            "country:        US\r\n"
            "address:        1 Example Way\r\n"
            "City:           Springfield\r\n");
        MessageCapture capture;
        info.summarise();
        QCOMPARE(info.netRange, QStringLiteral("192.0.2.0 - 192.0.2.255"));
        QCOMPARE(info.cidr, QStringLiteral("192.0.2.0/24"));
        QCOMPARE(info.owner, QStringLiteral("Example Networks\nSecond line"));
        QCOMPARE(info.country, QStringLiteral("United States"));
        QCOMPARE(info.address, QStringLiteral("1 Example Way\nSpringfield"));
        // The CIDR line follows the line of the range, blanks and all.
        QCOMPARE(info.response, QStringLiteral(
            "inetnum:        192.0.2.0 - 192.0.2.255   \nCIDR:192.0.2.0/24\n"
            "netname:        EXAMPLE-NET\n"
            "descr:          Example Networks\n"
            "descr:          Second line\n"
            "country:        US\n"
            "address:        1 Example Way\n"
            "City:           Springfield\n"));
    }

    void membersComeFromTheFirstParagraphThatHasThem()
    {
        WhoisInfo info(nullptr);
        info.response = QStringLiteral(
            "% comment only\r\n% range 198.51.100.0 - 198.51.100.255 quoted\r\n\r\n"
            "NetRange:       198.51.100.0 - 198.51.100.255\r\n"
            "NetName:        EXAMPLE\r\n\r\n\r\n"
            "OrgName:        Example Org\r\nCountry:        GB\r\nPostalCode:     AB1 2CD\r\n\r\n"
            "OrgName:        Other Org\r\ncountry:        DE\r\n");
        info.summarise();
        QCOMPARE(info.netRange, QStringLiteral("198.51.100.0 - 198.51.100.255"));
        QCOMPARE(info.cidr, QStringLiteral("198.51.100.0/24"));
        QCOMPARE(info.owner, QStringLiteral("Example Org"));
        QCOMPARE(info.country, QStringLiteral("United Kingdom"));
        QCOMPARE(info.address, QStringLiteral("AB1 2CD"));
        QVERIFY(!info.response.contains(QLatin1Char('\r')));
        // The range's line gains the CIDR line; the comment that quotes it does not.
        QCOMPARE(info.response.count(QStringLiteral("198.51.100.255\nCIDR:198.51.100.0/24")), 1);
        QVERIFY(info.response.contains(QStringLiteral("% range 198.51.100.0 - 198.51.100.255 quoted\n\n")));
    }

    void countryNames_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("US") << "country: US" << "United States";
        QTest::newRow("GB") << "Country: GB" << "United Kingdom";
        QTest::newRow("UK") << "country: UK" << "United Kingdom";
        QTest::newRow("lower case stays") << "country: de" << "de";
        QTest::newRow("not in the table") << "country: TL" << "TL";
        QTest::newRow("name cut at its comma") << "country: FM" << "Micronesia";
        QTest::newRow("MD") << "country: MD" << "Moldova";
        QTest::newRow("BE before BD") << "country: BD" << "Bangladesh";
        QTest::newRow("last row") << "country: ZW" << "Zimbabwe";
        QTest::newRow("two lines stay") << "country: DE\ncountry: DE" << "DE\nDE";
    }
    void countryNames()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        WhoisInfo info(nullptr);
        info.response = line + QLatin1Char('\n');
        info.summarise();
        QCOMPARE(info.country, expected);
    }

    // Where the CIDR line goes: after the end of each line that holds the
    // range, never inside a line or after a comment, and only where the
    // reply says nothing of a CIDR itself.
    void cidrLine_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("cidr");
        QTest::addColumn<QString>("response");

        // Any "CIDR" in the reply stops the insertion, yet the prefix is computed.
        const QString own = QStringLiteral("NetRange: 192.0.2.0 - 192.0.2.255\nCIDR: 192.0.2.0/24\n");
        QTest::newRow("the reply's own") << own << "192.0.2.0/24" << own;
        const QString remark = QStringLiteral("remarks: no CIDR here\ninetnum: 192.0.2.0 - 192.0.2.255\n");
        QTest::newRow("a remark that says CIDR") << remark << "192.0.2.0/24" << remark;
        QTest::newRow("prefix form") << "inetnum: 200.160.0.0/20\n" << "200.160.0.0/20"
                                     << "inetnum: 200.160.0.0/20\nCIDR:200.160.0.0/20\n";
        // Two range lines give a two-line range that the text does not hold.
        const QString two = QStringLiteral("inetnum: 192.0.2.0 - 192.0.2.255\ninetnum: 10.0.0.0 - 10.0.0.255\n");
        QTest::newRow("two range lines") << two << "Unknown" << two;
        // RIPE quotes the range inside its abuse line, which must keep its mail address.
        QTest::newRow("RIPE's abuse comment")
            << "% Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'\n\ninetnum: 193.0.0.0 - 193.0.7.255\n"
            << "193.0.0.0/21"
            << "% Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'\n\n"
               "inetnum: 193.0.0.0 - 193.0.7.255\nCIDR:193.0.0.0/21\n";
        QTest::newRow("# comment") << "inetnum: 192.0.2.0 - 192.0.2.255\n# see 192.0.2.0 - 192.0.2.255\n" << "192.0.2.0/24"
                                   << "inetnum: 192.0.2.0 - 192.0.2.255\nCIDR:192.0.2.0/24\n# see 192.0.2.0 - 192.0.2.255\n";
        QTest::newRow("last line without its end") << "inetnum: 192.0.2.0 - 192.0.2.255" << "192.0.2.0/24"
                                                   << "inetnum: 192.0.2.0 - 192.0.2.255\nCIDR:192.0.2.0/24";
        // The summary lists every prefix of a range, IPv6 ones too; the text
        // keeps its one prefix of /8 to /27, or "Unknown".
        QTest::newRow("several prefixes") << "inetnum: 192.0.2.0 - 192.0.3.127\n" << "192.0.2.0/24, 192.0.3.0/25"
                                          << "inetnum: 192.0.2.0 - 192.0.3.127\nCIDR:Unknown\n";
        QTest::newRow("unaligned start") << "NetRange: 10.0.0.1 - 10.0.0.7\n" << "10.0.0.1/32, 10.0.0.2/31, 10.0.0.4/30"
                                         << "NetRange: 10.0.0.1 - 10.0.0.7\nCIDR:Unknown\n";
        QTest::newRow("a /8 and more") << "inetnum: 0.0.0.0 - 255.255.255.255\n" << "0.0.0.0/0"
                                       << "inetnum: 0.0.0.0 - 255.255.255.255\nCIDR:Unknown\n";
        QTest::newRow("IPv6 range") << "NetRange: 2001:db8:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff\n" << "2001:db8::/32"
                                    << "NetRange: 2001:db8:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff\nCIDR:Unknown\n";
        QTest::newRow("IPv6, two prefixes") << "NetRange: 2001:db8:: - 2001:db8:0:1:8000::ffff\n"
                                            << "2001:db8::/64, 2001:db8:0:1::/65, 2001:db8:0:1:8000::/112"
                                            << "NetRange: 2001:db8:: - 2001:db8:0:1:8000::ffff\nCIDR:Unknown\n";
        QTest::newRow("inet6num") << "inet6num: 2a00:2381:ffff::/64\n" << "2a00:2381:ffff::/64" << "inet6num: 2a00:2381:ffff::/64\n";
        QTest::newRow("damaged prefix") << "inetnum: 200.68M-k.34.56/29\n" << "Unknown" << "inetnum: 200.68M-k.34.56/29\nCIDR:Unknown\n";
        QTest::newRow("abbreviated prefix") << "inetnum: 200.160/20\n" << "200.160/20" << "inetnum: 200.160/20\nCIDR:Unknown\n";
        const QString several = QStringLiteral("NetRange: 192.0.2.0 - 192.0.3.127\nCIDR: 192.0.2.0/24, 192.0.3.0/25\n");
        QTest::newRow("own line, several") << several << "192.0.2.0/24, 192.0.3.0/25" << several;
        QTest::newRow("reversed ends") << "inetnum: 192.0.3.0 - 192.0.2.0\n" << "Unknown" << "inetnum: 192.0.3.0 - 192.0.2.0\nCIDR:Unknown\n";
        QTest::newRow("text after the range stays on its line")
            << "inetnum: 192.0.2.0 - 192.0.2.255\nremarks: 192.0.2.0 - 192.0.2.255 is ours\n" << "192.0.2.0/24"
            << "inetnum: 192.0.2.0 - 192.0.2.255\nCIDR:192.0.2.0/24\nremarks: 192.0.2.0 - 192.0.2.255 is ours\nCIDR:192.0.2.0/24\n";
    }
    void cidrLine()
    {
        QFETCH(QString, reply);
        QFETCH(QString, cidr);
        QFETCH(QString, response);
        WhoisInfo info(nullptr);
        info.response = reply;
        info.summarise();
        QCOMPARE(info.cidr, cidr);
        QCOMPARE(info.response, response);
    }

    void cidrLineIsNotMultiplied()
    {
        // A short range on line after line of a hostile reply: the first 16
        // lines gain a CIDR line, so the text grows by 16 short lines.
        WhoisInfo info(nullptr);
        const QString reply = QStringLiteral("inetnum: x\n") + QStringLiteral("x\n").repeated(100000);
        info.response = reply;
        info.summarise();
        QCOMPARE(info.response.count(QStringLiteral("\nCIDR:Unknown")), 16);
        QCOMPARE(info.response.size(), reply.size() + 16 * QStringLiteral("\nCIDR:Unknown").size());
        QVERIFY(info.response.startsWith(QStringLiteral("inetnum: x\nCIDR:Unknown\nx\nCIDR:Unknown\nx\n")));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF") << "a: 1\r\nb: 2\r\n\r\nc: 3\r\n" << "a: 1\nb: 2\n\nc: 3\n";
        QTest::newRow("CR CR LF") << "a: 1\r\r\nb: 2" << "a: 1\nb: 2";
        // A lone CR is a line end of its own, so "\r\r" stays a blank line.
        QTest::newRow("CR only") << "a: 1\rcountry: GB\r\rc: 3\r" << "a: 1\ncountry: GB\n\nc: 3\n";
        QTest::newRow("CRs before a line feed") << "a: 1\r\r\r\nb: 2\r" << "a: 1\nb: 2\n";
        QTest::newRow("mixed") << "a: 1\rb: 2\r\nc: 3\nd: 4" << "a: 1\nb: 2\nc: 3\nd: 4";
    }
    void lineEnds()
    {
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        WhoisInfo info(nullptr);
        info.response = reply;
        info.summarise();
        QCOMPARE(info.response, expected);
    }

    void crOnlyReplyKeepsItsFields()
    {
        // Lines that ran together would hide the country behind another value.
        WhoisInfo info(nullptr);
        // Two paragraphs: the second's range and owner must not join the first's.
        info.response = QStringLiteral("inetnum: 192.0.2.0 - 192.0.2.255\rdescr: Mac Org\rcountry: FR\r\r"
                                       "inetnum: 10.0.0.0 - 10.0.0.255\rdescr: Other\r");
        info.summarise();
        QCOMPARE(info.netRange, QStringLiteral("192.0.2.0 - 192.0.2.255"));
        QCOMPARE(info.owner, QStringLiteral("Mac Org"));
        QCOMPARE(info.country, QStringLiteral("France"));
        QCOMPARE(info.cidr, QStringLiteral("192.0.2.0/24"));
    }

    void emptyAndRangelessReplies()
    {
        WhoisInfo empty(nullptr);
        empty.summarise();
        QVERIFY(empty.response.isEmpty());
        QVERIFY(empty.cidr.isEmpty());
        QVERIFY(empty.netRange.isEmpty());

        WhoisInfo rangeless(nullptr);
        rangeless.response = QStringLiteral("domain: example.com\r\n\r\nstatus: active\r\n");
        rangeless.summarise();
        QCOMPARE(rangeless.cidr, QStringLiteral("Unknown"));
        QCOMPARE(rangeless.response, QStringLiteral("domain: example.com\n\nstatus: active\n"));
    }

    void filledMembersAreKept()
    {
        // The lookup empties the members first; whatever is already there stays.
        WhoisInfo info(nullptr);
        info.netRange = QStringLiteral("10.0.0.0 - 10.0.0.255");
        info.cidr = QStringLiteral("10.0.0.0/24");
        info.response = QStringLiteral("inetnum: 192.0.2.0 - 192.0.2.255\n");
        info.summarise();
        QCOMPARE(info.netRange, QStringLiteral("10.0.0.0 - 10.0.0.255"));
        QCOMPARE(info.response, QStringLiteral("inetnum: 192.0.2.0 - 192.0.2.255\n"));
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
