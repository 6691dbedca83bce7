#include <QStatusBar>
#include <QtTest>

#include "messagecapture.h"
#include "whois/whoisinfo.h"

// The result text and the progress output.
class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void formatText_data()
    {
        QTest::addColumn<QString>("response");
        QTest::addColumn<QString>("expected");

        QTest::newRow("blanks after the colon go, inside the value stay")
            << "NetRange:       192.0.2.0 - 192.0.2.255" << "NetRange:\t192.0.2.0 - 192.0.2.255\n";
        QTest::newRow("blanks before the key go") << "   Status: active" << "Status:\tactive\n";
        QTest::newRow("empty value") << "remarks:" << "remarks:\t\n";
        QTest::newRow("only a colon") << ":" << ":\t\n";
        QTest::newRow("inserted CIDR line") << "CIDR:192.0.2.0/24" << "CIDR:\t192.0.2.0/24\n";
        QTest::newRow("two colons stay") << "Updated:   2010-01-01T12:00:00Z" << "Updated:   2010-01-01T12:00:00Z\n";
        QTest::newRow("URL value stays") << "Ref:  https://rdap.example.net/x" << "Ref:  https://rdap.example.net/x\n";
        QTest::newRow("bare URL is split") << "https://example.net/x" << "https:\t//example.net/x\n";
        QTest::newRow("% comment stays") << "% Note: this" << "% Note: this\n";
        QTest::newRow("# comment stays") << "# Note: this" << "# Note: this\n";
        QTest::newRow("blank before # is no comment") << " # Note: this" << "# Note:\tthis\n";
        QTest::newRow("blank lines stay") << "a\n\n\nb" << "a\n\n\nb\n";
        QTest::newRow("final line feed gives an empty line") << "a\nb\n" << "a\nb\n\n";
        QTest::newRow("no final line feed") << "a" << "a\n";
        QTest::newRow("empty") << "" << "\n";
        QTest::newRow("CR trimmed with the value") << "Key: v\r" << "Key:\tv\n";
        QTest::newRow("CR stays on other lines") << "% c: x\r\nno colon here\r\na:b:c\r"
                                                 << "% c: x\r\nno colon here\r\na:b:c\r\n";
        QTest::newRow("tabs and odd spaces trimmed")
            << QString::fromUtf8("\tKey\u00a0:\u2003value\t") << "Key:\tvalue\n";
    }
    void formatText()
    {
        QFETCH(QString, response);
        QFETCH(QString, expected);
        WhoisInfo info(nullptr);
        info.response = response;
        QCOMPARE(info.formatText(), expected);
        // Rendering again gives the same text and leaves the reply alone.
        QCOMPARE(info.formatText(), expected);
        QCOMPARE(info.response, response);
    }

    void progressGoesToDebugOutputThenStatusBar()
    {
        QStatusBar bar;
        WhoisInfo info(&bar);
        MessageCapture capture;

        info.showProgress(QStringLiteral("Sending query: n + 192.0.2.1\n"));
        // The line feed is not escaped; the text sits between quotes, then one space.
        QCOMPARE(capture.take(), QStringList{ QStringLiteral("\"Sending query: n + 192.0.2.1\n\" ") });
        QCOMPARE(bar.currentMessage(), QStringLiteral("Sending query: n + 192.0.2.1\n"));

        info.showProgress(QStringLiteral("Quote \" and back\\slash"));
        QCOMPARE(capture.take(), QStringList{ QStringLiteral("\"Quote \" and back\\slash\" ") });

        info.showProgress(QString());
        QCOMPARE(capture.take(), QStringList{ QStringLiteral("\"\" ") });
        QVERIFY(bar.currentMessage().isEmpty());
    }

    void progressWithoutStatusBar()
    {
        WhoisInfo info(nullptr);
        MessageCapture capture;
        info.showProgress(QStringLiteral("Connecting to whois.example"));
        QCOMPARE(capture.take(), QStringList{ QStringLiteral("\"Connecting to whois.example\" ") });
    }
};

QTEST_MAIN(TestFormat)
#include "tst_format.moc"
