#include "instance.h"

#include "dbusnames.h"
#include "panelcontent.h"
#include "state/store.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QTimer>

using namespace Qt::StringLiterals;

MenuBarInstance::MenuBarInstance(QDBusConnection bus, QObject *parent) : QObject(parent), m_bus(std::move(bus))
{
    new ApplicationAdaptor(this);
    new MenuBarAdaptor(this);
}

MenuBarInstance::~MenuBarInstance()
{
    if (m_registered) {
        m_bus.unregisterService(dbusnames::service);
        m_bus.unregisterObject(dbusnames::path);
    }
}

bool MenuBarInstance::claim()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    // The object goes first, so that whoever sees the name can call it at once.
    if (!m_bus.registerObject(dbusnames::path, this, QDBusConnection::ExportAdaptors))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = m_bus.interface()->registerService(
        dbusnames::service, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(dbusnames::path);
        return false;
    }
    m_registered = true;
    // Without its bus nobody can reach the instance any more (the session has
    // ended): leave with it rather than linger.
    m_bus.connect(QString(), u"/org/freedesktop/DBus/Local"_s, u"org.freedesktop.DBus.Local"_s, u"Disconnected"_s, this,
        SLOT(busDisconnected()));
    return true;
}

void MenuBarInstance::busDisconnected()
{
    m_registered = false;
    QCoreApplication::quit();
}

void MenuBarInstance::attach(Store *store)
{
    m_store = store;
    // Made first, so that it has followed a change of the store by the time
    // this instance announces it.
    m_panel = new PanelContent(store, this);
    m_line = StatusLine::of(*store);
    m_toolTip = m_panel->toolTip();
    m_iconShown = m_panel->iconShown();
    QObject::connect(store, &Store::changed, this, &MenuBarInstance::storeChanged);
}

void MenuBarInstance::storeChanged()
{
    const StatusLine next = StatusLine::of(*m_store);
    QVariantMap changed;
    if (next.title != m_line.title)
        changed.insert(u"Title"_s, next.title);
    const QString status = QString::fromUtf8(next.json());
    const bool statusChanged = status != QString::fromUtf8(m_line.json());
    if (statusChanged)
        changed.insert(u"Status"_s, status);
    if (next.restoring != m_line.restoring)
        changed.insert(u"Restoring"_s, next.restoring);
    if (next.error != m_line.error)
        changed.insert(u"Error"_s, next.error.value_or(QString()));
    if (m_panel->toolTip() != m_toolTip) {
        m_toolTip = m_panel->toolTip();
        changed.insert(u"ToolTip"_s, m_toolTip);
    }
    if (m_panel->iconShown() != m_iconShown) {
        m_iconShown = m_panel->iconShown();
        changed.insert(u"IconShown"_s, m_iconShown);
    }
    const bool lineChanged = next.title != m_line.title || statusChanged;
    m_line = next;
    if (changed.isEmpty())
        return;

    if (m_registered) {
        QDBusMessage signal
            = QDBusMessage::createSignal(dbusnames::path, dbusnames::propertiesInterface, u"PropertiesChanged"_s);
        signal << dbusnames::menuBarInterface << changed << QStringList();
        m_bus.send(signal);
    }
    if (lineChanged)
        Q_EMIT this->lineChanged(next.title, status);
}

void MenuBarInstance::open(const QList<QUrl> &urls, const QDBusMessage &message)
{
    if (!m_store) {
        m_bus.send(message.createErrorReply(QDBusError::Failed, u"Not ready yet."_s));
        return;
    }
    // Each address gets its own task, started in the order given; the answer
    // goes out when all of them have finished.
    std::vector<QCoro::Task<>> tasks;
    for (const QUrl &url : urls)
        tasks.push_back(m_store->handleCallback(url));
    message.setDelayedReply(true);
    finishOpen(std::move(tasks), message);
}

QCoro::Task<> MenuBarInstance::finishOpen(std::vector<QCoro::Task<>> tasks, QDBusMessage message)
{
    QDBusConnection bus = m_bus;
    for (auto &task : tasks)
        co_await task;
    bus.send(message.createReply());
}

void MenuBarInstance::activate()
{
    // A windowless instance has nothing to show; the line is its face.
    if (m_hasWindows)
        Q_EMIT popoverRequested();
}

void MenuBarInstance::activateAction(const QString &name, const QVariantList &parameter, const QDBusMessage &message)
{
    if (!m_store) {
        m_bus.send(message.createErrorReply(QDBusError::Failed, u"Not ready yet."_s));
        return;
    }
    if (name == dbusnames::actions::signIn) {
        m_store->signIn();
        return;
    }
    if (name == dbusnames::actions::quit) {
        message.setDelayedReply(true);
        m_bus.send(message.createReply());
        // Give the bus connection a moment to deliver the answer.
        QTimer::singleShot(100, QCoreApplication::instance(), &QCoreApplication::quit);
        return;
    }
    if (name == dbusnames::actions::open || name == dbusnames::actions::settings) {
        if (!m_hasWindows) {
            m_bus.send(message.createErrorReply(QDBusError::NotSupported, u"This instance runs without windows."_s));
            return;
        }
        if (name == dbusnames::actions::open)
            Q_EMIT popoverRequested();
        else
            Q_EMIT settingsRequested();
        return;
    }
    if (name == dbusnames::actions::connect) {
        QStringList arguments;
        if (parameter.size() == 1) {
            const QVariant &value = parameter.first();
            if (value.metaType() == QMetaType::fromType<QString>())
                arguments = {value.toString()};
            else if (value.metaType() == QMetaType::fromType<QStringList>())
                arguments = value.toStringList();
            else if (value.metaType() == QMetaType::fromType<QDBusArgument>())
                arguments = qdbus_cast<QStringList>(value.value<QDBusArgument>());
        }
        if (arguments.isEmpty() || arguments.size() > 2) {
            m_bus.send(message.createErrorReply(
                QDBusError::InvalidArgs, u"connect takes the link, or the link and the password."_s));
            return;
        }
        message.setDelayedReply(true);
        finishAction(m_store->connect(arguments.value(0), arguments.value(1)), message);
        return;
    }
    if (name == dbusnames::actions::disconnect) {
        message.setDelayedReply(true);
        finishAction(m_store->disconnect(), message);
        return;
    }
    if (name == dbusnames::actions::refresh) {
        message.setDelayedReply(true);
        finishAction(m_store->refresh(), message);
        return;
    }
    m_bus.send(message.createErrorReply(QDBusError::InvalidArgs, u"No action named %1."_s.arg(name)));
}

void MenuBarInstance::togglePopover(const QRect &button, const QString &edge, const QDBusMessage &message)
{
    static const QStringList edges {u"top"_s, u"bottom"_s, u"left"_s, u"right"_s};
    if (!edges.contains(edge) || button.width() < 0 || button.height() < 0) {
        m_bus.send(message.createErrorReply(QDBusError::InvalidArgs,
            u"TogglePopover takes a rectangle of positive size and the edge top, bottom, left or right."_s));
        return;
    }
    if (!m_hasWindows) {
        m_bus.send(message.createErrorReply(QDBusError::NotSupported, u"This instance runs without windows."_s));
        return;
    }
    m_bus.send(message.createReply());
    Q_EMIT popoverToggleRequested(button, edge);
}

QCoro::Task<> MenuBarInstance::finishAction(QCoro::Task<> task, QDBusMessage message)
{
    QDBusConnection bus = m_bus;
    co_await task;
    bus.send(message.createReply());
}

ApplicationAdaptor::ApplicationAdaptor(MenuBarInstance *instance) : QDBusAbstractAdaptor(instance), m_instance(instance)
{ }

void ApplicationAdaptor::Activate(const QVariantMap &)
{
    m_instance->activate();
}

void ApplicationAdaptor::Open(const QStringList &uris, const QVariantMap &, const QDBusMessage &message)
{
    QList<QUrl> urls;
    for (const QString &uri : uris)
        urls.append(QUrl(uri));
    m_instance->open(urls, message);
}

void ApplicationAdaptor::ActivateAction(
    const QString &actionName, const QVariantList &parameter, const QVariantMap &, const QDBusMessage &message)
{
    m_instance->activateAction(actionName, parameter, message);
}

MenuBarAdaptor::MenuBarAdaptor(MenuBarInstance *instance) : QDBusAbstractAdaptor(instance), m_instance(instance)
{
    QObject::connect(instance, &MenuBarInstance::lineChanged, this, &MenuBarAdaptor::LineChanged);
}

QString MenuBarAdaptor::title() const
{
    return m_instance->line().title;
}

QString MenuBarAdaptor::status() const
{
    return QString::fromUtf8(m_instance->line().json());
}

bool MenuBarAdaptor::restoring() const
{
    return m_instance->line().restoring;
}

QString MenuBarAdaptor::error() const
{
    return m_instance->line().error.value_or(QString());
}

QString MenuBarAdaptor::toolTip() const
{
    return m_instance->panel() ? m_instance->panel()->toolTip() : QString();
}

bool MenuBarAdaptor::iconShown() const
{
    return m_instance->panel() ? m_instance->panel()->iconShown() : true;
}

void MenuBarAdaptor::TogglePopover(
    int x, int y, int width, int height, const QString &edge, const QDBusMessage &message)
{
    // The instance sends the answer: an error, or an empty reply.
    message.setDelayedReply(true);
    m_instance->togglePopover(QRect(x, y, width, height), edge, message);
}
