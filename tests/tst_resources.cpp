#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

#include "net/pacer.h"

// The embedded files are read through the resource system, exactly as the
// program reads them; the collection comes with vantor_core.
class TestResources : public QObject
{
    Q_OBJECT

private:
    static QByteArray readResource(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        return f.readAll();
    }

private slots:
    void bothPathFormsReadTheSameBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("countries") << "resources/text/countries.txt";
        QTest::newRow("template") << "resources/text/basic.html";
        QTest::newRow("icon") << "resources/images/ico_search.png";
    }
    void bothPathFormsReadTheSameBytes()
    {
        QFETCH(QString, name);
        const QByteArray withSlash = readResource(":/" + name);
        QVERIFY(!withSlash.isEmpty());
        QCOMPARE(readResource(":" + name), withSlash);
    }

    // Every line of the table is read, names in any letter case; a longer
    // spacing than the table's is kept.
    void serverSpacings_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("usual");
        QTest::addColumn<int>("spacing");
        QTest::newRow("12 queries a minute") << "whois.tcinet.ru" << 1000 << 5000;
        QTest::newRow("in capitals") << "WHOIS.TCINET.RU" << 1000 << 5000;
        QTest::newRow("10 a minute") << "whois.nic.es" << 1000 << 6000;
        QTest::newRow("30 a minute") << "whois.nic.xn--d1acj3b" << 1000 << 2000;
        QTest::newRow("longer than the table") << "whois.nic.xn--d1acj3b" << 3000 << 3000;
        QTest::newRow("not in the table") << "whois.ripe.net" << 1000 << 1000;
    }
    void serverSpacings()
    {
        QFETCH(QString, host);
        QFETCH(int, usual);
        QFETCH(int, spacing);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QCOMPARE(net::serverSpacingMs(host, usual), spacing);
    }

    void countryTableFormat()
    {
        const QByteArray data = readResource(":resources/text/countries.txt");
        QVERIFY(data.startsWith("AC,Ascension Island\r\n"));
        QVERIFY(data.endsWith("\r\nZW,Zimbabwe"));
        // Close to the length the table has always had; a lost or doubled row shows here.
        QVERIFY2(qAbs(data.size() - 3779) <= 20, QByteArray::number(data.size()));

        for (char c : data)
            QVERIFY2(static_cast<unsigned char>(c) < 0x80, "not ASCII");
        // Every line feed belongs to a CR LF pair and no lone CR remains.
        QCOMPARE(data.count("\r\n"), data.count('\n'));
        QCOMPARE(data.count("\r\n"), data.count('\r'));

        const QList<QByteArray> rows = data.split('\n');
        QCOMPARE(rows.size(), 246);

        const QStringList codes = QStringLiteral(
            "AC AD AE AF AG AI AL AM AN AO AQ AR AS AT AU AW AZ BA BB BE BD BF BG BH BI BJ BM BN BO BR "
            "BS BT BV BW BY BZ CA CC CD CF CG CH CI CK CL CM CN CO CR CU CV CX CY CZ DE DJ DK DM DO DZ "
            "EC EE EG ER ES ET FI FJ FK FM FO FR GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GS GT GU GW "
            "GY HK HM HN HR HT HU ID IE IL IM IN IO IQ IR IS IT JE JM JO JP KE KG KH KI KM KN KR KW KY "
            "KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD ME MG MH MK ML MM MN MO MP MQ MR MS MT MU MV "
            "MW MX MY MZ NA NC NE NF NG NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM PN PR PS PT PW "
            "PY QA RE RO RS RU RW SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR ST SU SV SY SZ TC TD TF "
            "TG TH TJ TK TM TN TO TP TR TT TV TW TZ UA UG UK UM US UY UZ VA VC VE VG VI VN VU WF WS YE "
            "YT YU ZA ZM ZR ZW").split(' ');
        QCOMPARE(codes.size(), 246);

        // Code, comma, a name of capitalised words ("of" only in Isle of Man).
        const QRegularExpression rowForm(QStringLiteral("^([A-Z]{2}),([A-Za-z ()'.,-]+)$"));
        const QRegularExpression lowerWord(QStringLiteral("(^|[ (-])[a-z]"));
        int longest = 0;
        for (int i = 0; i < rows.size(); ++i) {
            const QString row = QString::fromLatin1(rows.at(i)).remove(QLatin1Char('\r'));
            const QRegularExpressionMatch m = rowForm.match(row);
            QVERIFY2(m.hasMatch(), qPrintable(row));
            QCOMPARE(m.captured(1), codes.at(i));
            if (row != QLatin1String("IM,Isle of Man"))
                QVERIFY2(!lowerWord.match(m.captured(2)).hasMatch(), qPrintable(row));
            if (row.count(QLatin1Char(',')) > 1)
                QVERIFY2(row.startsWith("FM,") || row.startsWith("MD,"), qPrintable(row));
            longest = qMax(longest, int(row.size()));
        }
        QCOMPARE(longest, 47);

        const char *quoted[] = {
            "AC,Ascension Island", "AN,Netherlands Antilles", "BE,Belgium", "BD,Bangladesh",
            "FM,Micronesia, Federated States Of", "GB,United Kingdom", "UK,United Kingdom",
            "GS,South Georgia And The South Sandwich Islands", "IM,Isle of Man", "MD,Moldova, Republic Of",
            "SU,Soviet Union", "TP,East Timor", "US,United States", "YU,Yugoslavia", "ZR,Zaire",
            "AG,Antigua And Barbuda", "VC,Saint Vincent And The Grenadines", "ZW,Zimbabwe",
        };
        for (const char *row : quoted)
            QVERIFY2(rows.contains(QByteArray(row) + '\r') || rows.constLast() == row, row);
    }

    void htmlTemplateByteForByte()
    {
        const QByteArray expected =
            "<html>\r\n<head>\r\n<title>Whois Results for {IP}</title>\r\n<style>\r\n\r\n"
            "p{\r\n\tpadding: 0px;\r\n\tmargin: 0px;\r\n}\r\n\r\n"
            ".comment{\r\n\tcolor: green;\r\n}\r\n\r\n"
            ".inetnum\r\n{\r\n\tbackground: blue;\r\n\tcolor: white;\r\n}\r\n\r\n"
            "</style>\r\n</head>\r\n<body>\r\n\r\n<h3>Whois results for {IP}</h3>\r\n{results_list}\r\n\r\n"
            "<ul>\r\n<li class='inetnum'><span>inetnum:</span> 1.2.3.4 - 5.6.7.8</li>\r\n</ul>\r\n\r\n"
            "</body>\r\n</html>";
        QCOMPARE(expected.size(), 369);
        QCOMPARE(readResource(":/resources/text/basic.html"), expected);
    }

    void searchIconIs32PixelRgba()
    {
        const QByteArray png = readResource(":/resources/images/ico_search.png");
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        // IHDR: bit depth 8, colour type 6 (RGBA), not interlaced.
        QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(int(png.at(24)), 8);
        QCOMPARE(int(png.at(25)), 6);
        QCOMPARE(int(png.at(28)), 0);

        QImage image;
        QVERIFY(image.loadFromData(png, "PNG"));
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.hasAlphaChannel());
        // A picture, not an empty square: some pixels are opaque, the corners are clear.
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 200;
        QVERIFY(opaque > 60);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
