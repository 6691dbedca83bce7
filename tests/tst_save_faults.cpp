#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include "ui/resultview.h"
#include <QtTest>

#include <unistd.h>

#include "modaldriver.h"
#include "testsettings.h"
#include "ui/mainwindow.h"

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small tmpfs on a folder of the test's own, unmounted when done.
class Tmpfs
{
public:
    explicit Tmpfs(const QString &sizeOption)
    {
        mounted = m_dir.isValid()
                  && run(QStringLiteral("mount"), { "-t", "tmpfs", "-o", sizeOption, "vantor-test", m_dir.path() });
    }
    ~Tmpfs()
    {
        if (mounted)
            run(QStringLiteral("umount"), { m_dir.path() });
    }
    bool remountReadOnly() { return run(QStringLiteral("mount"), { "-o", "remount,ro", m_dir.path() }); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    bool mounted = false;

private:
    QTemporaryDir m_dir;
};

} // namespace

// Save where the file cannot be written: the message box every time, and
// a file that was there keeps its content byte for byte.
class TestSaveFaults : public QObject
{
    Q_OBJECT

private:
    // Saves "new content" to path and returns the message boxes shown.
    QStringList saveTo(const QString &path)
    {
        mainWindow w;
        w.whoisInfo->response = QStringLiteral("new content");
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::insistOnFile(d, path); };
        w.saveData();
        return driver.boxes;
    }

    const QStringList errorBox{ QStringLiteral("error|Couldn't write to file.") };
    TestSettings m_settings;

private slots:
    void folderInPlaceOfTheFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("taken.txt"));
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(saveTo(folder), errorBox);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{ "taken.txt" });
    }

    void pathInAMissingFolder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/out.txt"));
        QCOMPARE(saveTo(path), errorBox);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void readOnlyFile()
    {
        const QByteArray old = "old content\r\nbyte for byte\xff";
        if (geteuid() != 0) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("ro.txt"));
            QVERIFY(writeFile(path, old));
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
            QCOMPARE(saveTo(path), errorBox);
            QCOMPARE(readFile(path), old);
            return;
        }
        // Root may write any file; a read-only file system stops even root.
        Tmpfs fs(QStringLiteral("size=64k"));
        if (!fs.mounted)
            QSKIP("running as root without the right to mount a tmpfs");
        const QString path = fs.filePath(QStringLiteral("ro.txt"));
        QVERIFY(writeFile(path, old));
        QVERIFY(fs.remountReadOnly());
        QCOMPARE(saveTo(path), errorBox);
        QCOMPARE(readFile(path), old);
    }

    void fullDisk()
    {
        Tmpfs fs(QStringLiteral("size=64k"));
        if (!fs.mounted)
            QSKIP("no right to mount a small tmpfs");
        const QString path = fs.filePath(QStringLiteral("full.txt"));
        const QByteArray old = "old content that must survive";
        QVERIFY(writeFile(path, old));
        // Fill what is left.
        QFile filler(fs.filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        for (int i = 0; i < 64 && filler.write(block) == block.size(); ++i)
            filler.flush();
        filler.close();

        mainWindow w;
        w.whoisInfo->response = QString(32 * 1024, QLatin1Char('n'));
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::insistOnFile(d, path); };
        w.saveData();
        QCOMPARE(driver.boxes, errorBox);
        QCOMPARE(readFile(path), old);
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files),
                 (QStringList{ "filler", "full.txt" }));
    }

    void deviceThatIsAlwaysFull()
    {
        // As root, a save that renamed a file into place would replace the
        // device itself, so root tests a node of its own making.
        QTemporaryDir dir;
        QString device = QStringLiteral("/dev/full");
        if (geteuid() == 0) {
            device = dir.filePath(QStringLiteral("full"));
            if (!run(QStringLiteral("mknod"), { device, "c", "1", "7" }))
                QSKIP("running as root without the right to make a device node");
        } else if (!QFileInfo::exists(device)) {
            QSKIP("no /dev/full here");
        }
        QCOMPARE(saveTo(device), errorBox);
        QVERIFY(!QFileInfo(device).isFile());
        QVERIFY(QFileInfo::exists(device));
    }

    void deviceThatTakesEverything()
    {
        QTemporaryDir dir;
        QString device = QStringLiteral("/dev/null");
        if (geteuid() == 0) {
            device = dir.filePath(QStringLiteral("null"));
            if (!run(QStringLiteral("mknod"), { device, "c", "1", "3" }))
                QSKIP("running as root without the right to make a device node");
        }
        QVERIFY(saveTo(device).isEmpty());
        QVERIFY(!QFileInfo(device).isFile());
    }
};

QTEST_MAIN(TestSaveFaults)
#include "tst_save_faults.moc"
