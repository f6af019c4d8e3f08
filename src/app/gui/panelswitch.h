#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>

class QDBusServiceWatcher;
class QFileSystemWatcher;

// One way into a desktop panel: the status item (with its XEmbed fallback),
// the XApp icon. The panel switch turns each on and off.
class PanelBackend {
public:
    virtual ~PanelBackend() = default;
    virtual void setLive(bool live) = 0;
};

// The one place that decides which way into the panel is live, so that no
// panel shows the line twice:
// - a panel integration of ours is present (a Plasma widget in a panel, the
//   GNOME Shell extension, or anything else that owns a name under
//   com.velmorcraft.quillmere.menubar.Panel.): it reads the panel interface
//   itself, and nothing else is live;
// - otherwise, where an XApp status-icon monitor runs (Cinnamon's and
//   MATE's applets) and an XApp icon is set: the XApp icon;
// - otherwise the status item.
// Everything is followed by bus signals and file notifications. An
// integration or XApp monitor that goes away is given a short grace period
// before the others come back, so a restarting helper, shell or panel does
// not make the panel flicker.
class PanelSwitch : public QObject {
    Q_OBJECT
public:
    static inline const QString presencePrefix = QStringLiteral("com.velmorcraft.quillmere.menubar.Panel.");
    static inline const QString plasmaShellService = QStringLiteral("org.kde.plasmashell");
    static inline const QString plasmaAppletsFile = QStringLiteral("plasma-org.kde.plasma.desktop-appletsrc");
    static inline const QString xappMonitorPrefix = QStringLiteral("org.x.StatusIconMonitor");
    static constexpr std::chrono::milliseconds defaultGrace = std::chrono::seconds(3);

    // From worst to best.
    enum class Route { None, StatusItem, XApp, Integration };
    Q_ENUM(Route)

    PanelSwitch(QDBusConnection bus, PanelBackend *statusItem, QObject *parent = nullptr);
    ~PanelSwitch() override;

    // Used instead of the status item while an XApp monitor runs.
    void setXAppBackend(PanelBackend *backend);
    void setGrace(std::chrono::milliseconds grace) { m_grace.setInterval(grace); }
    // Starts following the bus and decides; until the bus has answered,
    // nothing is live.
    void start();

    Route route() const { return m_route; }
    // The integrations present now: their bus names, and "plasma" for a
    // widget of ours in Plasma's panels.
    QStringList integrations() const;
    bool plasmaWidgetPresent() const { return m_plasmaWidget; }
    bool xappMonitorPresent() const { return !m_xappMonitors.isEmpty(); }

    // Whether Plasma's applet configuration in configFolder has a widget of
    // ours in a panel.
    static bool appletsListOurs(const QString &configFolder);

Q_SIGNALS:
    void routeChanged(PanelSwitch::Route route);

private:
    void ownerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void namesListed(const QStringList &names);
    void followPlasma(bool shellRunning);
    void readPlasmaConfig();
    void decide();
    void apply(Route route);

    QDBusConnection m_bus;
    PanelBackend *m_statusItem;
    PanelBackend *m_xapp = nullptr;
    QDBusServiceWatcher *m_watcher = nullptr;
    QFileSystemWatcher *m_files = nullptr;
    QString m_configFolder;
    QSet<QString> m_presence; // owned names under the presence prefix
    QSet<QString> m_xappMonitors;
    bool m_plasmaShell = false;
    bool m_plasmaWidget = false;
    bool m_listed = false;
    Route m_route = Route::None;
    QTimer m_grace;
    bool m_graceOver = false;
};
