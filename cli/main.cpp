// vantor-cli: the same lookups as the window, for shells and scripts.

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/output.h"
#include "rdap/refresh.h"
#include "whois/batch.h"

namespace {

const char kUsage[] =
    "Usage: vantor-cli [OPTION]... QUERY...\n"
    "       vantor-cli [OPTION]... -f FILE\n"
    "Looks up IP addresses, prefixes, AS numbers, domain names and registry\n"
    "handles over whois and RDAP, as the Vantor window does, and prints the\n"
    "replies in the order given, a blank line between two.\n"
    "\n"
    "  -f FILE    read queries from FILE, one per line ('-' for standard input);\n"
    "             empty lines and lines starting with '#' are skipped\n"
    "  -h HOST    ask this whois server first, with the line the query's kind gives\n"
    "  -p PORT    use this port for it (default 43)\n"
    "  --rdap     ask RDAP first for every query it serves\n"
    "  --json     one JSON object per query, one per line\n"
    "  -v         progress messages on standard error\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "At most 4 lookups run at once, one per server, and two queries to the same\n"
    "server start at least 1 s apart. Exit status: 0 when every query got an\n"
    "answer, 1 when some did not, 2 for bad usage.\n";

struct Settings
{
    QStringList queries;
    LookupOptions options;
    bool json = false;
    bool verbose = false;
};

void write(FILE *to, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

[[noreturn]] void usageError(const QString &message)
{
    write(stderr, "vantor-cli: " + message.toUtf8() + "\nTry 'vantor-cli --help'.\n");
    std::exit(2);
}

void readQueries(const QString &path, QStringList &queries)
{
    QFile file;
    const bool open = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                 : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!open)
        usageError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            queries.append(line);
    }
}

Settings parse(const QStringList &args)
{
    Settings s;
    QStringList files;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                usageError(a + QLatin1String(" needs a value"));
            return args.at(++i);
        };
        if (a == QLatin1String("--help")) {
            write(stdout, kUsage);
            std::exit(0);
        } else if (a == QLatin1String("--version")) {
            write(stdout, "vantor-cli " VANTOR_VERSION "\n");
            std::exit(0);
        } else if (a == QLatin1String("--json")) {
            s.json = true;
        } else if (a == QLatin1String("--rdap")) {
            s.options.preferRdap = true;
        } else if (a == QLatin1String("-v")) {
            s.verbose = true;
        } else if (a == QLatin1String("-f")) {
            files.append(value());
        } else if (a == QLatin1String("-h")) {
            s.options.firstServer = value();
        } else if (a == QLatin1String("-p")) {
            bool ok = false;
            const uint port = value().toUInt(&ok);
            if (!ok || port == 0 || port > 65535)
                usageError(QLatin1String("not a port: ") + args.at(i));
            s.options.firstPort = quint16(port);
        } else if (a == QLatin1String("--")) {
            s.queries += args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            usageError(QLatin1String("unknown option ") + a);
        } else {
            s.queries.append(a);
        }
    }
    for (const QString &f : std::as_const(files))
        readQueries(f, s.queries);
    if (s.queries.isEmpty() && files.isEmpty())
        usageError(QStringLiteral("no query given"));
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    // Debug output is the window's trace; here progress goes out with -v only.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            write(stderr, "vantor-cli: " + message.toUtf8() + '\n');
    });
#ifdef Q_OS_WIN
    _setmode(_fileno(stdout), _O_BINARY); // UTF-8 bytes as they are
#endif
    QCoreApplication app(argc, argv);
    const Settings settings = parse(app.arguments());

    LookupBatch batch(WhoisEndpoints(), settings.options);
    bool allAnswered = true;
    bool printed = false;
    if (settings.verbose) {
        QObject::connect(&batch, &LookupBatch::progress, [&](int index, const QString &message) {
            if (message.isEmpty())
                return; // the window's way of clearing its status bar
            QString line = settings.queries.at(index) + QLatin1String(": ") + message.trimmed();
            line.replace(QLatin1Char('\n'), QLatin1Char(' '));
            write(stderr, escapeControls(line).toUtf8() + '\n');
        });
    }
    QObject::connect(&batch, &LookupBatch::resultReady, [&](int, const LookupResult &r) {
        const bool ok = answered(r);
        allAnswered = allAnswered && ok;
        if (!ok) {
            const QString why = r.outcome == WhoisInfo::Outcome::None ? QStringLiteral("empty query") : r.status;
            write(stderr, escapeControls(QLatin1String("vantor-cli: ") + r.typed + QLatin1String(": ") + why).toUtf8() + '\n');
        }
        if (settings.json) {
            write(stdout, jsonLine(r) + '\n');
        } else if (r.outcome != WhoisInfo::Outcome::None && r.outcome != WhoisInfo::Outcome::Refused) {
            write(stdout, (printed ? QByteArray("\n") : QByteArray()) + escapeControls(r.text).toUtf8());
            printed = true;
        }
    });
    QObject::connect(&batch, &LookupBatch::finished, &app, [&] { app.exit(allAnswered ? 0 : 1); });
    batch.run(settings.queries);
    const int status = app.exec();
    // A refresh of IANA's files under way may finish what it fetches; the
    // next run fetches what is still missing.
    rdap::finishRefresh(2000);
    return status;
}
