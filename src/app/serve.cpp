#include "serve.h"

#include "appservices.h"
#include "instance.h"
#include "remote.h"
#include "state/store.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

using namespace Qt::StringLiterals;

Store &sharedStore(const Command &command, bool withWake)
{
    installSharedServices(withWake);
    Store &store = Store::shared();
    // Before the event loop runs, so restore already talks to this server.
    if (command.server)
        store.overrideServer(*command.server);
    return store;
}

int serveInstance(const Command &command, const WindowSideFactory &withWindows)
{
    const bool startedForCommand = qEnvironmentVariableIsSet(startedForCommandVariable);
    qunsetenv(startedForCommandVariable); // not for the programs this one starts
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto instance = std::make_unique<MenuBarInstance>(bus);
    if (bus.isConnected() && !instance->claim()) {
        // Another instance came up first; the command goes to that one.
        if (startedForCommand)
            return 0;
        RemoteInstance remote(bus);
        QTimer::singleShot(0, QCoreApplication::instance(), [remote, command]() mutable {
            [](RemoteInstance remote, Command command) -> QCoro::Task<> {
                QCoreApplication::exit(co_await remote.run(command, QString()));
            }(remote, command);
        });
        return QCoreApplication::exec();
    }
    if (!bus.isConnected())
        printError(u"no session bus: other launches cannot reach this instance."_s);
    Store &store = sharedStore(command, true);
    instance->attach(&store);
    std::unique_ptr<QObject> windows;
    if (withWindows) {
        windows = withWindows(*instance, store);
        instance->setHasWindows(windows != nullptr);
    }
    const int code = QCoreApplication::exec();
    windows.reset();
    instance.reset(); // give up the name before the store goes
    return code;
}
