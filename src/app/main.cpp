#include "appservices.h"
#include "commandline.h"
#include "instance.h"
#include "remote.h"
#include "state/store.h"
#include "statusline.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The password for --connect: standard input as given, without the one line
// break that ends it.
QString readPassword()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = input.readAll();
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    else if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

// Runs body once the event loop runs, and ends the loop with its exit code.
template<class Body> void runThenExit(Body body)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [body]() mutable {
        [](Body body) -> QCoro::Task<> {
            const int code = co_await body();
            QCoreApplication::exit(code);
        }(std::move(body));
    });
}

Store &sharedStore(const Command &command, bool withWake)
{
    installSharedServices(withWake);
    Store &store = Store::shared();
    // Before the event loop runs, so restore already talks to this server.
    if (command.server)
        store.overrideServer(*command.server);
    return store;
}

// --line with no running instance: restore here, print, and end.
int printLineInProcess(const Command &command, QCoreApplication &app)
{
    Store &store = sharedStore(command, false);
    QObject::connect(&store, &Store::changed, &app, [&store, json = command.json] {
        if (store.restoring())
            return;
        const StatusLine line = StatusLine::of(store);
        printLine(json ? line.json() : line.plain().toUtf8());
        QCoreApplication::exit(0);
    });
    return app.exec();
}

// No command: become the running instance, or wake the one that runs.
int runInstance(const Command &command, QCoreApplication &app)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto instance = std::make_unique<MenuBarInstance>(bus);
    if (bus.isConnected() && !instance->claim()) {
        RemoteInstance remote(bus);
        runThenExit([remote, command]() mutable { return remote.run(command, QString()); });
        return app.exec();
    }
    if (!bus.isConnected())
        printError(u"no session bus: other launches cannot reach this instance."_s);
    instance->attach(&sharedStore(command, true));
    const int code = app.exec();
    instance.reset(); // give up the name before the store goes
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    const Command::Parsed parsed = Command::parse(argumentsOf(argc, argv));
    // A later tray needs a QApplication for Run; everything else stays windowless.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillmere-menubar"_s);
    QCoreApplication::setOrganizationDomain(u"velmorcraft.com"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));

    if (!parsed.error.isEmpty()) {
        printError(parsed.error);
        std::fputs("Try 'quillmere-menubar --help'.\n", stderr);
        return 2;
    }
    const Command &command = parsed.command;
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::Help:
        printLine(Command::helpText().trimmed().toUtf8());
        return 0;
    case Kind::Version:
        printLine("quillmere-menubar " QUILLMERE_VERSION);
        return 0;
    case Kind::Run:
        return runInstance(command, app);
    default:
        break;
    }

    const QString password = command.passwordFromStdin ? readPassword() : QString();
    RemoteInstance remote(QDBusConnection::sessionBus());
    if (command.kind == Kind::Line) {
        bool instanceRuns = false;
        runThenExit([&]() -> QCoro::Task<int> {
            instanceRuns = co_await remote.running();
            if (!instanceRuns)
                co_return 0;
            co_return co_await remote.run(command, QString());
        });
        const int code = app.exec();
        if (instanceRuns)
            return code;
        return printLineInProcess(command, app);
    }
    runThenExit([&]() { return remote.run(command, password); });
    return app.exec();
}
