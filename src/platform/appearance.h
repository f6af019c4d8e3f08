#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

// The desktop's light or dark preference as the XDG desktop portal publishes
// it: the setting "color-scheme" of "org.freedesktop.appearance" (0 no
// preference, 1 dark, 2 light), read once at start and followed through the
// portal's SettingChanged signal. Without a portal there is no preference.
// Nothing blocks: the first answer arrives later, with changed().
class Appearance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool prefersDark READ prefersDark NOTIFY changed)

public:
    static inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

    explicit Appearance(QObject *parent = nullptr);
    Appearance(const QDBusConnection &bus, const QString &service, QObject *parent = nullptr);

    bool prefersDark() const { return m_scheme == 1; }

    // The colour scheme in a portal answer, which may be wrapped in one or
    // more D-Bus variants; nothing when it is not a number.
    static std::optional<uint> schemeOf(const QVariant &value);

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void settingChanged(const QDBusMessage &message);

private:
    void take(const QVariant &value);

    uint m_scheme = 0;
};
