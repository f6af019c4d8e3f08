#include "clock.h"
#include "server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace devserver;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the event loop from the main thread.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillmere-devserver"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Development server for Quillmere Menu Bar: sign-in, remote procedures, "
                                     u"snapshots and embed links over seeded demo data."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(
        u"host"_s, u"Address to listen on (default 127.0.0.1)."_s, u"address"_s, u"127.0.0.1"_s);
    const QCommandLineOption port(
        u"port"_s, u"Port to listen on; 0 picks a free one (default 8787)."_s, u"port"_s, u"8787"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the demo figures (default 1)."_s, u"number"_s, u"1"_s);
    const QCommandLineOption tick(
        u"tick"_s, u"Seconds between data changes; 0 freezes them (default 20)."_s, u"seconds"_s, u"20"_s);
    const QCommandLineOption faults(u"faults"_s, u"Enable fault injection under /_dev/."_s);
    const QCommandLineOption rate(
        u"embed-rate"_s, u"Requests per minute allowed per embed link (default 60)."_s, u"count"_s, u"60"_s);
    const QCommandLineOption sessionTtl(u"session-ttl"_s, u"Lifetime of a session in seconds (default 30 days)."_s,
        u"seconds"_s, QString::number(30 * 24 * 3600));
    parser.addOptions({host, port, seed, tick, faults, rate, sessionTtl});
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    bool ok = false;
    ServerOptions options;
    const QHostAddress address(parser.value(host));
    if (address.isNull()) {
        err << "quillmere-devserver: --host must be an IP address\n";
        return 2;
    }
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535) {
        err << "quillmere-devserver: --port must be a number from 0 to 65535\n";
        return 2;
    }
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok) {
        err << "quillmere-devserver: --seed must be a non-negative integer\n";
        return 2;
    }
    const double tickSeconds = parser.value(tick).toDouble(&ok);
    if (!ok || tickSeconds < 0) {
        err << "quillmere-devserver: --tick must be a non-negative number of seconds\n";
        return 2;
    }
    options.tickMs = qint64(tickSeconds * 1000);
    options.faults = parser.isSet(faults);
    options.embedRequestsPerMinute = parser.value(rate).toInt(&ok);
    if (!ok || options.embedRequestsPerMinute < 1) {
        err << "quillmere-devserver: --embed-rate must be a positive integer\n";
        return 2;
    }
    options.sessionLifetimeMs = parser.value(sessionTtl).toLongLong(&ok) * 1000;
    if (!ok || options.sessionLifetimeMs <= 0) {
        err << "quillmere-devserver: --session-ttl must be a positive number of seconds\n";
        return 2;
    }

    SystemClock clock;
    DevServer server(options, &clock);
    if (!server.start(address, quint16(portNumber))) {
        err << "quillmere-devserver: cannot listen on " << parser.value(host) << ':' << portNumber << '\n';
        return 1;
    }
    quitOnSignals(app);

    const QString base = server.baseUrl().toString(QUrl::StripTrailingSlash);
    out << "Quillmere development server listening on " << base << '\n';
    out << "Build " << server.buildId() << ", seed " << options.seed << ", tick " << tickSeconds << " s"
        << (options.faults ? u", fault injection on ("_s + base + u"/_dev/)"_s : QString()) << '\n';
    out << "\nDemo accounts (pick one on the sign-in page, no password):\n";
    for (const UserInfo &u : server.data().users()) {
        QStringList names;
        for (const QString &w : u.workspaceIds)
            names.append(server.data().workspace(w)->name + (w == u.currentWorkspaceId ? u" (current)"_s : QString()));
        out << "  " << u.email << "  " << u.name << "  [" << names.join(u", "_s) << "]\n";
    }
    out << "\nDemo embed links:\n";
    for (const EmbedLinkInfo &l : server.data().embedLinks())
        out << "  " << base << "/embed/" << l.key << "  "
            << (l.password.isEmpty() ? u"(no password)"_s : u"password: "_s + l.password) << "  " << l.title << '\n';
    out << "\nWeb dashboard: " << base << "/dashboard\n";
    out.flush();

    const int rc = QCoreApplication::exec();
    out << "quillmere-devserver: stopped\n";
    return rc;
}
