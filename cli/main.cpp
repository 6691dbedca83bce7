// vantor-cli: the same lookups as the window, for shells and scripts.

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/output.h"
#include "lookup/batch.h"
#include "lookup/kept.h"

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
    "  -h HOST    ask this whois server first, with the line it takes (ARIN's if unknown)\n"
    "  -p PORT    use this port for it (default 43)\n"
    "  --rdap     ask RDAP first for every query it serves\n"
    "  --proxy URL  go through this proxy: socks5h://, socks5:// or http://,\n"
    "             with user:password@ and :port (1080) where needed; '' for none\n"
    "  --noproxy LIST  servers asked directly, separated by commas; '*' for all\n"
    "  --json     one JSON object per query, one per line, with its facts and hops\n"
    "  --facts    print what each answer says (registrar, dates, holder, abuse\n"
    "             contact, prefixes, ...) as aligned lines instead of the reply\n"
    "  --max-age DURATION  take a saved answer up to this old: 30s, 30m, 2h, 7d\n"
    "             (default 24h)\n"
    "  --fresh    ask the servers whatever is saved (the answer is saved still)\n"
    "  --clear-store  empty the saved answers first; alone, only that\n"
    "  -v         progress messages on standard error\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "At most 4 lookups run at once. Every server, referred ones too, is asked\n"
    "one query at a time, at least 1 s apart (longer where its registry says so).\n"
    "A server that says to slow down is left alone for a while, then asked once\n"
    "more. With -v, a line per server at the end: queries, answers, failures,\n"
    "waits.\n"
    "\n"
    "Answers are saved (~/.cache/Vantor/answers.sqlite, at most 100 MB) and\n"
    "shown again without asking, an address's for every address of its network.\n"
    "Lookups with -h neither take nor save them.\n"
    "\n"
    "The proxy comes from ALL_PROXY, HTTPS_PROXY and http_proxy, with NO_PROXY,\n"
    "read as curl reads them; --proxy and --noproxy take their place. whois goes\n"
    "through a SOCKS5 proxy only, and straight to the server past an HTTP one;\n"
    "RDAP goes through either.\n"
    "\n"
    "Exit status: 0 when every query got an answer, 1 when some did not or the\n"
    "output could not be written, 2 for bad usage or a proxy that cannot be used.\n";

struct Settings
{
    QStringList queries;
    LookupOptions options;
    bool json = false;
    bool facts = false; // --facts
    bool verbose = false;
    bool clearStore = false;
    std::optional<QString> proxy;   // --proxy, in place of the environment's
    std::optional<QString> noProxy; // --noproxy, in place of NO_PROXY
};

std::atomic<bool> g_verbose{ false };
int g_outputError = 0; // errno of the first failed write to standard output

bool writeTo(FILE *to, const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to) == size_t(bytes.size()) && std::fflush(to) == 0;
}

// One line on standard error; a server's words in it cannot drive the terminal.
void warn(const QString &message)
{
    writeTo(stderr, escapeControls(QLatin1String("vantor-cli: ") + message).toUtf8() + '\n');
}

// Said once: after a full disk or a reader gone, every later write fails too.
void outputFailed(int error)
{
    if (g_outputError)
        return;
    g_outputError = error ? error : EIO;
    warn(QLatin1String("cannot write output: ") + QString::fromLocal8Bit(std::strerror(g_outputError)));
}

// False once standard output could not take the bytes.
bool writeOut(const QByteArray &bytes)
{
    if (g_outputError)
        return false;
    errno = 0;
    if (writeTo(stdout, bytes))
        return true;
    outputFailed(errno);
    return false;
}

[[noreturn]] void usageError(const QString &message)
{
    warn(message);
    writeTo(stderr, "Try 'vantor-cli --help'.\n");
    std::exit(2);
}

// Debug output is the window's trace, warnings are for -v; what the user
// must see, the program writes itself.
void handleMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const bool quiet = type == QtDebugMsg || ((type == QtWarningMsg || type == QtInfoMsg) && !g_verbose);
    if (!quiet)
        warn(message);
}

// Before anything opens a file or a socket.
void prepareStreams()
{
#ifdef Q_OS_UNIX
    // Qt's network code ignores SIGPIPE once it makes a socket; ignored from
    // the start, a write to a pipe nobody reads always fails with EPIPE,
    // which is reported.
    std::signal(SIGPIPE, SIG_IGN);
    // A closed standard stream would hand its number to the next file or
    // socket opened, and the output to it.
    bool outClosed = false;
    for (int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO }) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            ::open("/dev/null", O_RDWR);
            outClosed = outClosed || fd == STDOUT_FILENO;
        }
    }
    if (outClosed)
        outputFailed(EBADF);
#endif
#ifdef Q_OS_WIN
    _setmode(_fileno(stdout), _O_BINARY); // UTF-8 bytes as they are
#endif
}

// Calls gone as soon as the reader of standard output goes away (a pipe
// into "head -1"), not only at the next write, so that no query is sent
// for output nobody reads.
void watchOutput(QObject *parent, const std::function<void()> &gone)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return; // only a pipe or a socket loses its reader
    auto *timer = new QTimer(parent);
    QObject::connect(timer, &QTimer::timeout, parent, [timer, gone] {
        pollfd out{ STDOUT_FILENO, POLLOUT, 0 };
        if (::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP))) {
            timer->stop();
            outputFailed(EPIPE);
            gone();
        }
    });
    timer->start(100);
#else
    Q_UNUSED(parent);
    Q_UNUSED(gone);
#endif
}

// A host name or address as -h takes it: something, and no blanks in it.
QString serverName(const QString &value)
{
    const bool blank = std::any_of(value.begin(), value.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control;
    });
    if (value.isEmpty() || blank)
        usageError(QStringLiteral("not a server name: '%1'").arg(value));
    return value;
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
            std::exit(writeOut(kUsage) ? 0 : 1);
        } else if (a == QLatin1String("--version")) {
            std::exit(writeOut("vantor-cli " VANTOR_VERSION "\n") ? 0 : 1);
        } else if (a == QLatin1String("--json")) {
            s.json = true;
        } else if (a == QLatin1String("--facts")) {
            s.facts = true;
        } else if (a == QLatin1String("--rdap")) {
            s.options.preferRdap = true;
        } else if (a == QLatin1String("--fresh")) {
            s.options.fresh = true;
        } else if (a == QLatin1String("--clear-store")) {
            s.clearStore = true;
        } else if (a == QLatin1String("--max-age")) {
            const std::optional<qint64> seconds = parseDuration(value());
            if (!seconds)
                usageError(QLatin1String("not a duration: '") + args.at(i)
                           + QLatin1String("' (a number and s, m, h or d, as in 30m or 7d)"));
            s.options.maxAgeS = *seconds;
        } else if (a == QLatin1String("-v")) {
            s.verbose = true;
        } else if (a == QLatin1String("-f")) {
            files.append(value());
        } else if (a == QLatin1String("--proxy")) {
            s.proxy = value();
        } else if (a == QLatin1String("--noproxy")) {
            s.noProxy = value();
        } else if (a == QLatin1String("-h")) {
            s.options.firstServer = serverName(value());
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
    if (s.queries.isEmpty() && files.isEmpty() && !s.clearStore)
        usageError(QStringLiteral("no query given"));
    return s;
}

// Prints the results as they come, in the order given.
class Printer
{
public:
    explicit Printer(const Settings &settings) : m_settings(settings) {}

    void progress(int index, const QString &message) const
    {
        if (message.isEmpty())
            return; // the window's way of clearing its status bar
        QString line = m_settings.queries.at(index) + QLatin1String(": ") + message.trimmed();
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        writeTo(stderr, escapeControls(line).toUtf8() + '\n');
    }

    // False once standard output fails.
    bool result(const LookupResult &r)
    {
        const bool ok = answered(r);
        m_allAnswered = m_allAnswered && ok;
        if (!r.notice.isEmpty())
            warn(r.notice);
        if (!ok)
            warn(r.typed + QLatin1String(": ") + (r.outcome == WhoisInfo::Outcome::None ? QStringLiteral("empty query") : r.status));
        else if (const QString cut = answerWarning(r); !cut.isEmpty())
            warn(r.typed + QLatin1String(": ") + cut);
        if (m_settings.json)
            return writeOut(jsonLine(r) + '\n');
        if (r.outcome == WhoisInfo::Outcome::None || r.outcome == WhoisInfo::Outcome::Refused)
            return true;
        const QByteArray gap = m_printed ? QByteArray("\n") : QByteArray();
        m_printed = true;
        if (m_settings.facts) {
            const QString facts = factsText(r);
            return writeOut(gap + (facts.isEmpty() ? QStringLiteral("(no facts in the reply)\n") : facts).toUtf8());
        }
        return writeOut(gap + escapeControls(r.text).toUtf8());
    }

    int status() const { return g_outputError || !m_allAnswered ? 1 : 0; }

private:
    const Settings &m_settings;
    bool m_allAnswered = true;
    bool m_printed = false;
};

// The environment's proxies, read once, or the options' in their place; a
// proxy that cannot be used ends the run before anything is asked.
WhoisEndpoints endpointsFor(const Settings &settings)
{
    WhoisEndpoints endpoints;
    endpoints.proxy = net::ProxySettings::fromEnvironment(QProcessEnvironment::systemEnvironment());
    if (settings.proxy)
        endpoints.proxy.setProxy(*settings.proxy, QStringLiteral("--proxy"));
    if (settings.noProxy)
        endpoints.proxy.setNoProxy(*settings.noProxy);
    const QStringList problems = endpoints.proxy.problems();
    if (!problems.isEmpty())
        usageError(problems.join(QLatin1String("; ")));
    return endpoints;
}

QString counted(int n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// One line per server the batch asked: what -v reports at the end.
void reportServers(const QList<LookupBatch::ServerTally> &tally)
{
    for (const LookupBatch::ServerTally &t : tally) {
        QString line = t.server + QLatin1String(": ") + counted(t.queries, "query", "queries") + QLatin1String(", ")
                       + counted(t.answers, "answer", "answers") + QLatin1String(", ")
                       + counted(t.failures, "failure", "failures") + QLatin1String(", ") + counted(t.waits, "wait", "waits");
        if (t.waits > 0)
            line += QLatin1String(" (") + QString::number(double(t.waitedMs) / 1000, 'f', 1) + QLatin1String(" s)");
        warn(line);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    prepareStreams();
    qInstallMessageHandler(handleMessage);
    QCoreApplication app(argc, argv);
    const Settings settings = parse(app.arguments());
    g_verbose = settings.verbose;
    if (g_outputError)
        return 1;

    const WhoisEndpoints endpoints = endpointsFor(settings);
    if (settings.clearStore) {
        if (const QString error = kept::clear(endpoints); !error.isEmpty()) {
            warn(QLatin1String("cannot clear the saved answers: ") + error);
            return 1;
        }
        if (settings.queries.isEmpty())
            return 0;
    }
    LookupBatch batch(endpoints, settings.options);
    Printer printer(settings);
    // Nothing more is asked once the output cannot be written.
    const auto giveUp = [&] {
        batch.stop();
        app.exit(1);
    };
    if (settings.verbose)
        QObject::connect(&batch, &LookupBatch::progress, &app, [&](int index, const QString &m) { printer.progress(index, m); });
    QObject::connect(&batch, &LookupBatch::resultReady, &app, [&](int, const LookupResult &r) {
        if (!printer.result(r))
            giveUp();
    });
    QObject::connect(&batch, &LookupBatch::finished, &app, [&] { app.exit(printer.status()); });
    watchOutput(&app, giveUp);
    batch.run(settings.queries);
    const int status = app.exec();
    if (settings.verbose) {
        reportServers(batch.tally());
        if (kept::inUse(endpoints, settings.options))
            warn(QStringLiteral("%1 of %2 answers came from the saved answers")
                     .arg(batch.fromStore())
                     .arg(settings.queries.size()));
    }
    // A refresh of IANA's files under way may finish what it fetches; the
    // next run fetches what is still missing.
    finishBackgroundWork(2000);
    return status;
}
