#include "remote.h"

#include "dbusnames.h"
#include "panelline.h"
#include "statusline.h"

#include <QCoreApplication>
#include <QCoro/QCoroDBus>
#include <QCoro/QCoroSignal>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QProcess>

#include <chrono>
#include <coroutine>
#include <cstdio>
#include <utility>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Long enough for a command whose refresh makes several slow requests.
constexpr int commandTimeoutMs = 300'000;
constexpr auto startTimeout = 15s;
constexpr auto quitTimeout = 10s;
constexpr auto restoreTimeout = 120s;

// Texts used inside coroutines (GCC 12 cannot take string literals there).
const QString kServerOption = QStringLiteral("--server");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kActivate = QStringLiteral("Activate");
const QString kActivateAction = QStringLiteral("ActivateAction");
const QString kError = QStringLiteral("Error");
const QString kGetAll = QStringLiteral("GetAll");
const QString kLineChanged = QStringLiteral("LineChanged");
const QString kNameHasOwner = QStringLiteral("NameHasOwner");
const QString kOpen = QStringLiteral("Open");
const QString kPropertiesChanged = QStringLiteral("PropertiesChanged");
const QString kRestoring = QStringLiteral("Restoring");
const QString kStatus = QStringLiteral("Status");
const QString kTitle = QStringLiteral("Title");
const QString kTogglePopover = QStringLiteral("TogglePopover");
const QString kNoBusText = QStringLiteral("no session bus: cannot reach or start the running instance.");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kNoReplyError = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
const QString kServiceUnknownError = QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown");
const QString kNameHasNoOwnerError = QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
const QString kNoAnswerText = QStringLiteral("the running instance did not answer.");
const QString kNoStartText = QStringLiteral("the running instance did not start.");

// Receives the instance's signals and turns them into Qt signals that a
// coroutine can wait for.
class SignalRelay : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public Q_SLOTS:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        if (interface == dbusnames::menuBarInterface && changed.value(u"Restoring"_s, true).toBool() == false)
            Q_EMIT restored();
    }
    void onLineChanged(const QString &, const QString &status)
    {
        if (status == m_lastPrinted)
            return;
        m_lastPrinted = status;
        printLine(status.toUtf8());
    }

public:
    void print(const QString &status) { onLineChanged(QString(), status); }

Q_SIGNALS:
    void restored();

private:
    QString m_lastPrinted;
};

// Counts what may have changed the panel's line: the instance's property
// and line signals and its coming and going on the bus. A waiter compares
// the count from before it asked with the count after, so that nothing
// arriving while it asks is lost, and else sleeps until the next change.
class ChangeCounter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    quint64 count = 0;

    // co_await changes.next(): resumes once, from the event loop, at the
    // next change.
    struct Next {
        ChangeCounter *counter;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) noexcept { counter->m_waiter = waiter; }
        void await_resume() const noexcept { }
    };
    Next next() { return Next {this}; }

public Q_SLOTS:
    void note()
    {
        ++count;
        // Several changes may come at once: the waiter is woken once, and
        // not from within this slot (it may delete this object as it ends).
        if (const std::coroutine_handle<> waiter = std::exchange(m_waiter, nullptr))
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
    }

private:
    std::coroutine_handle<> m_waiter;
};

} // namespace

void printLine(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "quillmere-menubar: %s\n", bytes.constData());
    std::fflush(stderr);
}

RemoteInstance::RemoteInstance(QDBusConnection bus) : m_bus(std::move(bus)) { }

QCoro::Task<bool> RemoteInstance::running()
{
    if (!m_bus.isConnected())
        co_return false;
    QDBusMessage message = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, kNameHasOwner);
    message << dbusnames::service;
    const QDBusMessage reply = co_await m_bus.asyncCall(message);
    co_return reply.type() == QDBusMessage::ReplyMessage &&reply.arguments().value(0).toBool();
}

QCoro::Task<bool> RemoteInstance::ensureRunning(std::optional<QUrl> server)
{
    if (!m_bus.isConnected())
        co_return false;
    // Watch before asking, so that an instance appearing in between is seen.
    QDBusServiceWatcher watcher(dbusnames::service, m_bus, QDBusServiceWatcher::WatchForRegistration);
    if (co_await running())
        co_return true;

    QStringList arguments;
    if (server)
        arguments << kServerOption << server->toString(QUrl::FullyEncoded);
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(arguments);
    // Started for a command: if another instance wins the name meanwhile,
    // this one just ends instead of waking the other's popover.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(startedForCommandVariable), u"1"_s);
    process.setProcessEnvironment(environment);
    // The instance outlives this launch; it must not hold on to our pipes.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        co_return false;

    const auto registered = co_await qCoro(&watcher, &QDBusServiceWatcher::serviceRegistered, startTimeout);
    if (registered)
        co_return true;
    co_return co_await running();
}

QCoro::Task<QDBusMessage> RemoteInstance::call(QString interface, QString method, QVariantList arguments, int timeoutMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(dbusnames::service, dbusnames::path, interface, method);
    message.setArguments(arguments);
    co_return co_await m_bus.asyncCall(message, timeoutMs);
}

QCoro::Task<std::optional<QVariantMap>> RemoteInstance::properties()
{
    QVariantList arguments;
    arguments << dbusnames::menuBarInterface;
    const QDBusMessage reply = co_await call(dbusnames::propertiesInterface, kGetAll, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return std::nullopt;
    co_return qdbus_cast<QVariantMap>(reply.arguments().first());
}

QCoro::Task<int> RemoteInstance::run(Command command, QString password)
{
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::Line:
        co_return co_await line(command.json);
    case Kind::Quit:
        co_return co_await quit();
    case Kind::Next:
        if (!m_bus.isConnected()) {
            printError(kNoBusText);
            co_return 1;
        }
        co_return co_await next(command.since);
    default:
        break;
    }

    if (!m_bus.isConnected()) {
        printError(kNoBusText);
        co_return 1;
    }
    if (!co_await ensureRunning(command.server)) {
        printError(kNoStartText);
        co_return 1;
    }
    switch (command.kind) {
    case Kind::Run: {
        QVariantList arguments;
        arguments << QVariantMap();
        co_await call(dbusnames::applicationInterface, kActivate, arguments);
        co_return 0;
    }
    case Kind::Open:
        co_return co_await open(command.urls);
    case Kind::SignIn:
        co_return co_await action(dbusnames::actions::signIn, QVariantList(), false);
    case Kind::Connect: {
        QVariantList parameter;
        parameter << QVariant(QStringList() << command.link << password);
        co_return co_await action(dbusnames::actions::connect, parameter, true);
    }
    case Kind::Disconnect:
        co_return co_await action(dbusnames::actions::disconnect, QVariantList(), true);
    case Kind::Refresh:
        co_return co_await action(dbusnames::actions::refresh, QVariantList(), true);
    case Kind::Settings:
        co_return co_await action(dbusnames::actions::settings, QVariantList(), false);
    case Kind::Follow:
        co_return co_await follow();
    case Kind::PopoverAt:
        co_return co_await popoverAt(command.anchor, command.edge);
    default:
        co_return 2;
    }
}

QCoro::Task<int> RemoteInstance::open(QList<QUrl> urls)
{
    QStringList uris;
    for (const QUrl &url : urls)
        uris << url.toString(QUrl::FullyEncoded);
    QVariantList arguments;
    arguments << uris << QVariantMap();
    const QDBusMessage reply = co_await call(dbusnames::applicationInterface, kOpen, arguments, commandTimeoutMs);
    // The addresses were handed over; what they lead to shows in the line.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() != kNoReplyError) {
        printError(reply.errorMessage());
        co_return 1;
    }
    co_return 0;
}

QCoro::Task<int> RemoteInstance::action(QString name, QVariantList parameter, bool reportError)
{
    QVariantList arguments;
    arguments << name << QVariant::fromValue(parameter) << QVariantMap();
    const QDBusMessage reply
        = co_await call(dbusnames::applicationInterface, kActivateAction, arguments, commandTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        printError(reply.errorMessage());
        co_return 1;
    }
    if (reportError) {
        const auto props = co_await properties();
        const QString error = props ? props->value(kError).toString() : QString();
        if (!error.isEmpty()) {
            printError(error);
            co_return 1;
        }
    }
    co_return 0;
}

QCoro::Task<int> RemoteInstance::quit()
{
    if (!m_bus.isConnected())
        co_return 0;
    QDBusServiceWatcher watcher(dbusnames::service, m_bus, QDBusServiceWatcher::WatchForUnregistration);
    if (!co_await running())
        co_return 0; // nothing to stop
    QVariantList arguments;
    arguments << dbusnames::actions::quit << QVariant::fromValue(QVariantList()) << QVariantMap();
    const QDBusMessage reply = co_await call(dbusnames::applicationInterface, kActivateAction, arguments);
    const bool stillRunning = co_await running();
    if (stillRunning && reply.type() == QDBusMessage::ErrorMessage) {
        printError(reply.errorMessage());
        co_return 1;
    }
    if (stillRunning)
        co_await qCoro(&watcher, &QDBusServiceWatcher::serviceUnregistered, quitTimeout);
    co_return 0;
}

QCoro::Task<int> RemoteInstance::line(bool json)
{
    const std::optional<int> code = co_await lineIfRunning(json);
    if (!code) {
        printError(kNoAnswerText);
        co_return 1;
    }
    co_return *code;
}

QCoro::Task<std::optional<int>> RemoteInstance::lineIfRunning(bool json)
{
    if (!m_bus.isConnected())
        co_return std::nullopt;
    // One call answers both questions, whether an instance runs and what its
    // line is: status bars run this every few seconds.
    QVariantList arguments;
    arguments << dbusnames::menuBarInterface;
    const QDBusMessage reply = co_await call(dbusnames::propertiesInterface, kGetAll, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == kServiceUnknownError || reply.errorName() == kNameHasNoOwnerError)
            co_return std::nullopt;
        printError(kNoAnswerText);
        co_return 1;
    }
    std::optional<QVariantMap> props = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    // An instance still restoring shows nothing yet; its first real line is
    // what the caller wants. Listen first, then ask again, so that the end
    // of the restore cannot slip in between.
    if (props->value(kRestoring).toBool()) {
        SignalRelay relay;
        m_bus.connect(dbusnames::service, dbusnames::path, dbusnames::propertiesInterface, kPropertiesChanged, &relay,
            SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
        props = co_await properties();
        if (props && props->value(kRestoring).toBool()) {
            co_await qCoro(&relay, &SignalRelay::restored, restoreTimeout);
            props = co_await properties();
        }
    }
    if (!props) {
        printError(kNoAnswerText);
        co_return 1;
    }
    if (json) {
        printLine(props->value(kStatus).toString().toUtf8());
    } else {
        printLine(StatusLine::oneLine(props->value(kTitle).toString()).toUtf8());
    }
    co_return 0;
}

QCoro::Task<int> RemoteInstance::follow()
{
    SignalRelay relay;
    QDBusServiceWatcher watcher(dbusnames::service, m_bus, QDBusServiceWatcher::WatchForUnregistration);
    m_bus.connect(dbusnames::service, dbusnames::path, dbusnames::menuBarInterface, kLineChanged, &relay,
        SLOT(onLineChanged(QString, QString)));
    const auto props = co_await properties();
    if (!props) {
        printError(kNoAnswerText);
        co_return 1;
    }
    relay.print(props->value(kStatus).toString());
    // From here on every change arrives as a signal; this launch ends with the
    // instance.
    const bool stillRunning = co_await running();
    if (stillRunning)
        co_await qCoro(&watcher, &QDBusServiceWatcher::serviceUnregistered);
    co_return 0;
}

QCoro::Task<PanelLine> RemoteInstance::panelLine()
{
    QVariantList arguments;
    arguments << dbusnames::menuBarInterface;
    const QDBusMessage reply = co_await call(dbusnames::propertiesInterface, kGetAll, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage)
        co_return PanelLine::notRunning();
    co_return PanelLine::fromProperties(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
}

QCoro::Task<int> RemoteInstance::next(QString since)
{
    // Nothing here runs on a timer: the launch sleeps in the event loop until
    // the instance signals, or comes or goes.
    ChangeCounter changes;
    QDBusServiceWatcher watcher(dbusnames::service, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &changes, &ChangeCounter::note);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &changes, &ChangeCounter::note);
    m_bus.connect(dbusnames::service, dbusnames::path, dbusnames::propertiesInterface, kPropertiesChanged, &changes,
        SLOT(note()));
    m_bus.connect(
        dbusnames::service, dbusnames::path, dbusnames::menuBarInterface, kLineChanged, &changes, SLOT(note()));
    std::optional<QString> shown;
    if (!since.isEmpty())
        shown = since;
    for (;;) {
        const quint64 before = changes.count;
        const PanelLine line = co_await panelLine();
        const QString state = line.state();
        if (!shown) {
            shown = state;
        } else if (state != *shown) {
            printLine(line.json());
            co_return line.running ? 0 : Command::notRunningExitCode;
        }
        if (changes.count == before)
            co_await changes.next();
    }
}

QCoro::Task<int> RemoteInstance::popoverAt(QRect anchor, QString edge)
{
    QVariantList arguments;
    arguments << anchor.x() << anchor.y() << anchor.width() << anchor.height() << edge;
    const QDBusMessage reply = co_await call(dbusnames::menuBarInterface, kTogglePopover, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        printError(reply.errorMessage());
        co_return 1;
    }
    co_return 0;
}

#include "remote.moc"
