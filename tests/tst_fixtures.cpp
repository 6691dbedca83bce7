#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "analysis/facts.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

#include "messagecapture.h"

// Recorded replies of real whois servers (tests/data/whois, see SOURCES.md
// there) run through the summary and the formatting the window shows.
class TestFixtures : public QObject
{
    Q_OBJECT

private:
    static QString dataDir() { return QStringLiteral(VANTOR_TEST_DATA); }

    // The server's bytes, without the capture headers of a ".mime" recording.
    static QByteArray readBytes(const QString &relativePath)
    {
        QFile file(dataDir() + QLatin1Char('/') + relativePath);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        QByteArray bytes = file.readAll();
        if (relativePath.endsWith(QLatin1String(".mime")))
            bytes = bytes.mid(bytes.indexOf("\r\n\r\n") + 4);
        return bytes;
    }

    // Decoded as the program decodes what the server sends.
    static QString readReply(const QString &relativePath, bool *utf8 = nullptr)
    {
        bool isUtf8 = false;
        const QString text = decodeReply(readBytes(relativePath), false, &isUtf8);
        if (utf8)
            *utf8 = isUtf8;
        return text;
    }

    static QStringList allReplies()
    {
        QStringList files;
        for (const QString &folder : { QStringLiteral("whois"), QStringLiteral("whois-2026") }) {
            QDirIterator it(dataDir() + QLatin1Char('/') + folder, { QStringLiteral("*.txt"), QStringLiteral("*.mime") },
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << QDir(dataDir()).relativeFilePath(it.next());
        }
        files.sort();
        return files;
    }

    // Where the run of lines first starts in lines, or -1.
    static qsizetype indexOfRun(const QStringList &lines, const QStringList &run)
    {
        for (qsizetype i = 0; i + run.size() <= lines.size(); ++i) {
            if (std::equal(run.begin(), run.end(), lines.begin() + i))
                return i;
        }
        return -1;
    }

    // calculateCidr traces every range it sees; keep the test log readable.
    QuietDebug quiet;

private slots:
    // Values worked out by reading each reply, not by running the code.
    // "runs" are lines that must stand one after another in formatText();
    // "cidrLines" is how many of its lines start with "CIDR:".
    void knownReplies_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("netRange");
        QTest::addColumn<QString>("cidr");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<int>("cidrLines");

        // The reply has its own CIDR line, so nothing is added. "Organization"
        // is not an owner key; the owner comes from OrgName in the next paragraph.
        QTest::newRow("ARIN Microsoft")
            << "whois/whois.arin.net/n_20.0.0.0_microsoft.txt"
            << "20.0.0.0 - 20.31.255.255" << "20.0.0.0/11" << "Microsoft Corporation" << "United States"
            << "One Microsoft Way\nRedmond\nWA\n98052"
            << QList<QStringList>{
                   QStringList{"NetRange:\t20.0.0.0 - 20.31.255.255", "CIDR:\t20.0.0.0/11", "NetName:\tMSFT"},
                   QStringList{"NetType:\tDirect Assignment", "OriginAS:\t", "Organization:\tMicrosoft Corporation (MSFT)"},
                   QStringList{"Ref:            https://rdap.arin.net/registry/ip/20.0.0.0", "", "", "", "OrgName:\tMicrosoft Corporation"},
               }
            << 1;

        // No CIDR in the reply: the line goes after the inetnum line. The
        // banner and the abuse line quote the range in comments and stay whole.
        QTest::newRow("RIPE BT")
            << "whois/whois.ripe.net/62.239.237.1_bt.txt"
            << "62.239.237.0 - 62.239.237.255" << "62.239.237.0/24" << "UDC" << "United Kingdom"
            << "British Telecommunications\n81 Newgate Street\nLondon GB"
            << QList<QStringList>{
                   QStringList{"% Information related to '62.239.237.0 - 62.239.237.255'", ""},
                   QStringList{"% Abuse contact for '62.239.237.0 - 62.239.237.255' is 'protect@bt.com'", ""},
                   QStringList{"inetnum:\t62.239.237.0 - 62.239.237.255", "CIDR:\t62.239.237.0/24", "netname:\tBT-CORPORATE"},
               }
            << 1;

        // The range appears five times (two banners, abuse line, two inetnum
        // objects); only the inetnum lines gain a CIDR line. The address is
        // the irt's, the first paragraph with one.
        QTest::newRow("APNIC SK Broadband")
            << "whois/whois.apnic.net/110.8.0.1_skbroadband.txt"
            << "110.8.0.0 - 110.15.255.255" << "110.8.0.0/13" << "SK Broadband Co Ltd" << "Korea (Republic Of)"
            << "Jeollanam-do Naju-si Jinheung-gil"
            << QList<QStringList>{
                   QStringList{"% Information related to '110.8.0.0 - 110.15.255.255'", ""},
                   QStringList{"% Abuse contact for '110.8.0.0 - 110.15.255.255' is 'irt@nic.or.kr'", ""},
                   QStringList{"inetnum:\t110.8.0.0 - 110.15.255.255", "CIDR:\t110.8.0.0/13", "netname:\tbroadNnet"},
                   QStringList{"inetnum:\t110.8.0.0 - 110.15.255.255", "CIDR:\t110.8.0.0/13", "netname:\tbroadNnet-KR"},
               }
            << 2;

        // The first inetnum wins; the wider second one, which shares the end
        // address, gets no CIDR line. All three descr lines make the owner.
        QTest::newRow("APNIC two inetnum")
            << "whois/whois.apnic.net/210.107.73.73_two-inetnum.txt"
            << "210.107.0.0 - 210.107.127.255" << "210.107.0.0/17"
            << "DACOM Corp.\nFacility-based Telecommunication Service Provider\n"
               "providing Internet leased-ine, on-line service, BLL etc."
            << "Korea (Republic Of)" << "Seoul Songpa-gu Jungdae-ro 135"
            << QList<QStringList>{
                   QStringList{"% Information related to '210.107.0.0 - 210.107.127.255'", ""},
                   QStringList{"inetnum:\t210.107.0.0 - 210.107.127.255", "CIDR:\t210.107.0.0/17",
                    "netname:\tBORANET-NET-210-107"},
                   QStringList{"inetnum:\t210.106.224.0 - 210.107.127.255", "netname:\tBORANET-KR"},
               }
            << 1;

        // A prefix, not a range: it is its own CIDR, and the footer's "CIDR
        // blocks" keeps the reply as it is. "inetnum-up:", "ownerid:" and
        // "owner-c:" are not the keys; "responsible:" is.
        QTest::newRow("LACNIC Chile")
            << "whois/whois.lacnic.net/200.68.34.57_chile.txt"
            << "200.68.34.56/29" << "200.68.34.56/29"
            << "Agencia de Aduanas Patricio Sesnich Stewart y Comp\nOperaciones ISP TIE" << "Chile"
            << "San Martin, 50, Piso 6\n8340526 - Santiago - RM"
            << QList<QStringList>{
                   QStringList{"inetnum:\t200.68.34.56/29", "status:\treallocated"},
                   QStringList{"inetnum-up:\t200.68.34.0/24", ""},
                   QStringList{"% Types of queries are: POCs, ownerid, CIDR blocks, IP", "% and AS numbers.", ""},
               }
            << 0;

        // CR LF throughout; the IPv6 prefix has more than one ':' so its line
        // is left alone, and is its own CIDR. The source dropped the
        // non-ASCII letters of the name.
        QTest::newRow("LACNIC IPv6 CRLF")
            << "whois/whois.lacnic.net/2801-10-c000--_ipv6_crlf.txt"
            << "2801:10:c000::/48" << "2801:10:c000::/48"
            << "Universidad Catolica de Oriente\nJuan Diego Garca Muoz" << "Colombia"
            << "Carrera 46, 40B50,\n- - Rionegro - AN"
            << QList<QStringList>{
                   QStringList{"", "% Joint Whois - whois.lacnic.net", "%  This server accepts single ASN, IPv4 or IPv6 queries",
                    " "},
                   QStringList{"inetnum:     2801:10:c000::/48", "status:\tassigned"},
                   QStringList{"address:\tCarrera 46, 40B50,", "address:\t- - Rionegro - AN", "country:\tCO"},
                   QStringList{"% and AS numbers.", "", "", ""},
               }
            << 0;

        // The "parent:" range is another one and is left alone, and so are
        // the comments that quote the range.
        QTest::newRow("AFRINIC Maroc Telecom")
            << "whois/whois.afrinic.net/105.158.0.1_maroc-telecom.txt"
            << "105.158.0.0 - 105.158.255.255" << "105.158.0.0/16" << "ADSL_Maroc_telecom" << "Morocco"
            << "Division Exploitation et maintenance des PFS\nMAROC TELECOM\nAvenue de France AGDAL\nImmeuble DR Rabat"
            << QList<QStringList>{
                   QStringList{"% Information related to '105.158.0.0 - 105.158.255.255'", ""},
                   QStringList{"% No abuse contact registered for 105.158.0.0 - 105.158.255.255", ""},
                   QStringList{"inetnum:\t105.158.0.0 - 105.158.255.255", "CIDR:\t105.158.0.0/16",
                    "netname:\tADSL_Maroc_telecom"},
                   QStringList{"parent:\t105.128.0.0 - 105.159.255.255", ""},
               }
            << 1;

        // A domain reply with stray CRs; the blank address line stays as an
        // empty line in the middle of the address.
        QTest::newRow(".fr AFNIC")
            << "whois/whois.nic.fr/registered.txt"
            << "" << "Unknown" << "" << "United States" << "3540 East Longwing Lane\n\nID 83646 MERIDIAN"
            << QList<QStringList>{
                   QStringList{"address:\t3540 East Longwing Lane", "address:\t", "address:\tID 83646 MERIDIAN", "country:\tUS"},
                   QStringList{"eligdate:    30/12/2011 18:15:32"},
                   QStringList{"%% complete date format : DD/MM/YYYY", "%% short date format    : DD/MM"},
               }
            << 0;

        // Every value of the one paragraph is taken, so three "Country: US"
        // lines make "US\nUS\nUS", which is no code in the table.
        QTest::newRow(".com MarkMonitor")
            << "whois/whois.markmonitor.com/google.com.txt"
            << "" << "Unknown" << "" << "US\nUS\nUS" << "Mountain View\nMountain View\nMountain View"
            << QList<QStringList>{
                   QStringList{"Registrant City:\tMountain View", "Registrant State/Province:\tCA"},
                   QStringList{"Registrar URL: http://www.markmonitor.com"},
                   QStringList{"Registry Registrant ID:\t", "Registrant Name:\tDns Admin"},
               }
            << 0;

        // UTF-8, so "Borås" and not "BorÃ¥s"; "CountryCode:" is not "country:".
        QTest::newRow(".de DENIC UTF-8")
            << "whois/whois.denic.de/failed_utf8.txt"
            << "" << "Unknown" << "" << "" << QString::fromUtf8("Landerigatan 1\n50451\nBorås")
            << QList<QStringList>{
                   QStringList{"Address:\tLanderigatan 1", "PostalCode:\t50451", QString::fromUtf8("City:\tBorås"),
                    "CountryCode:\tSE"},
                   QStringList{"% Version: 2.0", "% "},
               }
            << 0;
    }

    void knownReplies()
    {
        QFETCH(QString, file);
        QFETCH(QString, netRange);
        QFETCH(QString, cidr);
        QFETCH(QString, owner);
        QFETCH(QString, country);
        QFETCH(QString, address);
        QFETCH(QList<QStringList>, runs);
        QFETCH(int, cidrLines);

        WhoisInfo info(nullptr);
        info.response = readReply(file);
        QVERIFY2(!info.response.isEmpty(), qPrintable(file));
        info.summarise();

        QCOMPARE(info.netRange, netRange);
        QCOMPARE(info.cidr, cidr);
        QCOMPARE(info.owner, owner);
        QCOMPARE(info.country, country);
        QCOMPARE(info.address, address);

        const QStringList lines = info.formatText().split(QLatin1Char('\n'));
        for (const QStringList &run : runs)
            QVERIFY2(indexOfRun(lines, run) >= 0, qPrintable(run.join(QLatin1String(" | "))));
        const auto startsWithCidr = [](const QString &line) { return line.startsWith(QLatin1String("CIDR:")); };
        QCOMPARE(int(std::count_if(lines.begin(), lines.end(), startsWithCidr)), cidrLines);
    }

    // What today's servers answer, read as the program reads it: letters in
    // UTF-8 or Latin-1, the retired servers' refusal, IANA's "whois:" line.
    void replies2026_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("unusable");
        QTest::addColumn<QString>("ianaWhois");
        QTest::addColumn<QString>("words");

        const QString d = QStringLiteral("whois-2026/");
        QTest::newRow("JPRS") << d + "utf8-jprs-jprs.jp-2020.mime" << true << false << "" << QString::fromUtf8("[ドメイン情報]");
        QTest::newRow("JPRS, another") << d + "utf8-jprs-jp-domain-2021.txt" << true << false << "" << QString::fromUtf8("[ドメイン情報]");
        QTest::newRow("KISA") << d + "utf8-kr-google.kr-2020.mime" << true << false << "" << QString::fromUtf8("도메인이름");
        QTest::newRow("CNNIC") << d + "utf8-cnnic-cnnic.cn-2014.mime" << true << false << ""
                               << QString::fromUtf8("中国互联网络信息中心");
        QTest::newRow("NIC.ar") << d + "utf8-nic.ar-domain-2020.txt" << true << false << "" << QString::fromUtf8("información");
        QTest::newRow("ISNIC is Latin-1") << d + "cp1252-isnic-isnic.is-2014.mime" << false << false << ""
                                          << QString::fromUtf8("Reykjavík");
        QTest::newRow("gifts retired") << d + "tld-not-supported-whois.nic.gifts-2026.txt" << true << true << "" << "";
        QTest::newRow("maison retired") << d + "tld-not-supported-whois.nic.maison-2026.txt" << true << true << "" << "";
        QTest::newRow("IANA kr") << d + "iana-tld-kr-whois-line-2020.mime" << true << false << "whois.kr" << "";
        QTest::newRow("IANA fi") << d + "iana-tld-fi-whois-line-2018.mime" << true << false << "whois.fi" << "";
        QTest::newRow("IANA eh names none") << d + "iana-tld-eh-no-whois-server-2015.txt" << true << false << "" << "";
        QTest::newRow("IANA AS") << d + "iana-asn-as264957-refer-lacnic-2024.txt" << true << false << "whois.lacnic.net" << "";
    }
    void replies2026()
    {
        QFETCH(QString, file);
        QFETCH(bool, utf8);
        QFETCH(bool, unusable);
        QFETCH(QString, ianaWhois);
        QFETCH(QString, words);
        bool isUtf8 = false;
        const QString text = readReply(file, &isUtf8);
        QVERIFY(!text.isEmpty());
        QCOMPARE(isUtf8, utf8);
        QCOMPARE(isUnusableReply(text), unusable);
        QCOMPARE(ianaWhoisServer(text), ianaWhois);
        QVERIFY2(text.contains(words), qPrintable(file));
    }

    // Guards the test below against an empty or missing data folder.
    void everyReplyIsThere()
    {
        const QStringList files = allReplies();
        QVERIFY2(files.size() >= 69, qPrintable(QString::number(files.size()) + " replies in " + dataDir()));
        QVERIFY(files.contains(QStringLiteral("whois/whois.arin.net/n_20.0.0.0_microsoft.txt")));
        QVERIFY(files.contains(QStringLiteral("whois-2026/utf8-jprs-jprs.jp-2020.mime")));
    }

    void everyReply_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &file : allReplies())
            QTest::newRow(qPrintable(file)) << file;
    }

    void everyReply()
    {
        QFETCH(QString, file);

        const QString original = readReply(file);
        QVERIFY(!original.isEmpty());
        QString withoutCr = original;
        withoutCr.remove(QLatin1Char('\r'));

        // Facts of any kind, none guessed from an empty reading.
        for (const char *kind : { "domain", "ipv6", "asn" }) {
            const analysis::Facts facts = analysis::whoisFacts(original, QLatin1String(kind));
            QCOMPARE(facts.subject.isEmpty(), facts.isEmpty());
        }

        WhoisInfo info(nullptr);
        info.response = original;
        info.summarise();
        const QString formatted = info.formatText();

        QVERIFY(!info.response.contains(QLatin1Char('\r')));

        // One output line per reply line, each ended by a line feed.
        QVERIFY(formatted.endsWith(QLatin1Char('\n')));
        QCOMPARE(formatted.count(QLatin1Char('\n')), info.response.count(QLatin1Char('\n')) + 1);
        const QStringList replyLines = info.response.split(QLatin1Char('\n'));
        const QStringList lines = formatted.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < replyLines.size(); ++i) {
            // Banner and comment lines come through untouched.
            if (replyLines.at(i).startsWith(QLatin1Char('#')) || replyLines.at(i).startsWith(QLatin1Char('%')))
                QCOMPARE(lines.at(i), replyLines.at(i));
        }

        // The summary: values trimmed, no CR, and a CIDR that is the reply's
        // own, the range itself where it is written as a prefix, or every
        // prefix of the range, the first at its first address.
        for (const QString *member : {&info.netRange, &info.cidr, &info.owner, &info.country, &info.address}) {
            QCOMPARE(*member, member->trimmed());
            QVERIFY(!member->contains(QLatin1Char('\r')));
        }
        if (info.netRange.isEmpty())
            QCOMPARE(info.cidr, QStringLiteral("Unknown"));
        if (info.cidr != QLatin1String("Unknown")) {
            const QStringList prefixes = info.cidr.split(QLatin1String(", "));
            for (const QString &p : prefixes)
                QVERIFY2(p.contains(QLatin1Char('/')) && analysis::prefixesOfRange(p) == QStringList{ p }, qPrintable(info.cidr));
            if (!withoutCr.contains(QLatin1String("CIDR")))
                QVERIFY2(info.netRange.startsWith(prefixes.first().section(QLatin1Char('/'), 0, 0)), qPrintable(info.netRange));
        }

        // The text's CIDR line keeps its rule, and only IPv4 objects get one.
        const bool v4Range = withoutCr.contains(QLatin1String("inetnum"), Qt::CaseInsensitive)
                             || withoutCr.contains(QLatin1String("NetRange"), Qt::CaseInsensitive);
        if (withoutCr.contains(QLatin1String("CIDR")) || info.netRange.isEmpty() || !v4Range) {
            QCOMPARE(info.response, withoutCr);
            return;
        }
        const QString textCidr = info.calculateCidr(info.netRange);

        // A CIDR line after each of the first 16 lines that hold the range
        // and are no comments, and nothing else added.
        QStringList expected;
        int added = 0;
        for (const QString &line : withoutCr.split(QLatin1Char('\n'))) {
            expected.append(line);
            const bool comment = line.startsWith(QLatin1Char('%')) || line.startsWith(QLatin1Char('#'));
            if (added < 16 && !comment && line.contains(info.netRange)) {
                expected.append(QLatin1String("CIDR:") + textCidr);
                ++added;
            }
        }
        QCOMPARE(info.response, expected.join(QLatin1Char('\n')));
        if (!info.netRange.contains(QLatin1Char('\n')))
            QVERIFY(added > 0);
    }
};

QTEST_GUILESS_MAIN(TestFixtures)
#include "tst_fixtures.moc"
