#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqml.h>

class QDBusPendingCallWatcher;

// Our GNOME Shell extension as the running shell sees it, followed over
// org.gnome.Shell.Extensions: whether it is enabled, and the way to enable it
// that works in this session. Outside GNOME, or with no shell on the bus, the
// state is Unavailable and nothing is offered.
class GnomeShellExtension : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString advice READ advice NOTIFY stateChanged)

public:
    static inline const QString uuid = QStringLiteral("quillmere-menubar@velmorcraft.com");
    static inline const QString enableCommand = QStringLiteral("gnome-extensions enable ") + uuid;

    enum State {
        Checking, // the shell has not answered yet
        Unavailable, // not GNOME, or no shell interface
        Enabled,
        Disabled, // known to the shell; EnableExtension works
        NotLoaded, // unknown to the running shell: installed after it started
        Failed, // the shell could not run it (an error, or a shell version it does not list)
    };
    Q_ENUM(State)

    explicit GnomeShellExtension(QObject *parent = nullptr);
    GnomeShellExtension(QDBusConnection bus, bool wayland, QObject *parent = nullptr);

    State state() const { return m_state; }
    // One sentence for the settings window when there is no button to offer.
    QString advice() const;
    // A GNOME session (XDG_CURRENT_DESKTOP names it).
    static bool gnomeSession();
    // The state the shell reports (its ExtensionState number) means.
    static State fromShellInfo(const QVariantMap &info);

    // Asks the shell to enable the extension (only in state Disabled).
    Q_INVOKABLE void enable();

Q_SIGNALS:
    void stateChanged();

private:
    QDBusPendingCallWatcher *callShell(const QString &method); // with our uuid
    void query();
    void setState(State state);
    Q_SLOT void extensionStateChanged(const QString &uuid, const QVariantMap &info);

    QDBusConnection m_bus;
    bool m_wayland;
    State m_state = Checking;
};
