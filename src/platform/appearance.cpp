#include "platform/appearance.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::StringLiterals;

namespace {
const QString appearanceGroup = u"org.freedesktop.appearance"_s;
const QString colorSchemeKey = u"color-scheme"_s;
} // namespace

Appearance::Appearance(QObject *parent) : Appearance(QDBusConnection::sessionBus(), portalService, parent) { }

Appearance::Appearance(const QDBusConnection &bus, const QString &service, QObject *parent) : QObject(parent)
{
    if (!bus.isConnected())
        return;
    QDBusConnection connection(bus);
    connection.connect(
        service, portalPath, settingsInterface, u"SettingChanged"_s, this, SLOT(settingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(service, portalPath, settingsInterface, u"Read"_s);
    read << appearanceGroup << colorSchemeKey;
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(read), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<QVariant> reply = *call;
        if (!reply.isError())
            take(reply.value());
        call->deleteLater();
    });
}

std::optional<uint> Appearance::schemeOf(const QVariant &value)
{
    QVariant inner = value;
    // The portal answers Read with the value in a variant, older ones with a
    // variant in a variant.
    while (inner.userType() == qMetaTypeId<QDBusVariant>())
        inner = inner.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = inner.toUInt(&ok);
    if (!ok || inner.userType() == QMetaType::QString || inner.userType() == QMetaType::Bool)
        return std::nullopt;
    return scheme;
}

// SettingChanged(s group, s key, v value), for every setting of the desktop.
void Appearance::settingChanged(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() == 3 && args[0].toString() == appearanceGroup && args[1].toString() == colorSchemeKey)
        take(args[2]);
}

void Appearance::take(const QVariant &value)
{
    const bool wasDark = prefersDark();
    m_scheme = schemeOf(value).value_or(0);
    if (prefersDark() != wasDark)
        Q_EMIT changed();
}
