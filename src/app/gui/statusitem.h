#pragma once

#include "dbusmenu.h"
#include "panelcontent.h"
#include "panelswitch.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>

class QDBusServiceWatcher;
class QTimer;
class TrayBackend;

// Wire types of org.kde.StatusNotifierItem.
struct SniIconPixmap { // (iiay): ARGB32, network byte order
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using SniIconPixmapList = QList<SniIconPixmap>;
struct SniToolTip { // (sa(iiay)ss)
    QString iconName;
    SniIconPixmapList pixmaps;
    QString title;
    QString text;
};
Q_DECLARE_METATYPE(SniIconPixmap)
Q_DECLARE_METATYPE(SniToolTip)

QDBusArgument &operator<<(QDBusArgument &argument, const SniIconPixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &argument, SniIconPixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &tip);
const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &tip);

// The program's presence in panels that host status items: a
// StatusNotifierItem with the line as its label (the Ayatana extension) and
// tooltip, the chart icon, and a menu exported over com.canonical.dbusmenu,
// all as the panel content says. It registers with the panel's
// StatusNotifierWatcher and again whenever that watcher is replaced (a panel
// restart). Without a watcher it falls back to an XEmbed tray icon where the
// X11 panel has a tray, and says once on stderr how to reach the window
// otherwise. While another way into the panel is live it is withdrawn: its
// bus name released and the tray icon gone.
class StatusItem : public QObject, public PanelBackend {
    Q_OBJECT
public:
    static inline const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
    static inline const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
    static inline const QString itemPath = QStringLiteral("/StatusNotifierItem");
    static inline const QString menuPath = QStringLiteral("/MenuBar");
    static inline const QString iconName = QStringLiteral("quillmere-menubar");
    // A transparent icon of ours, named while only the text shows.
    static inline const QString blankIconName = QStringLiteral("quillmere-menubar-blank");

    // Menu item ids.
    enum MenuId {
        OpenItem = PanelContent::OpenItem,
        RefreshItem = PanelContent::RefreshItem,
        SettingsItem = PanelContent::SettingsItem,
        SeparatorItem = PanelContent::SeparatorItem,
        QuitItem = PanelContent::QuitItem,
    };

    StatusItem(QDBusConnection bus, PanelContent *content, QObject *parent = nullptr);
    ~StatusItem() override;

    void start(); // register (or fall back), and keep following the watcher
    // Withdrawn (false) or back in the panel (true); live from start() on.
    void setLive(bool live) override;
    bool live() const { return m_live; }
    // Whether the item's bus name is owned right now.
    bool published() const { return m_published; }
    bool registered() const { return m_registered; } // registered with a StatusNotifierWatcher right now
    bool fallbackActive() const { return m_fallback != nullptr; }
    QString serviceName() const { return m_serviceName; }

    // What the item shows now.
    QString label() const { return m_content->label(); }
    bool iconShown() const { return m_content->iconShown(); }
    QString toolTipText() const { return m_content->toolTip(); }
    // Hosts that find icons by name only (the Ayatana ones) draw a "missing
    // icon" sign for an empty name, so the hidden icon is a transparent one.
    QString shownIconName() const { return iconShown() ? iconName : blankIconName; }
    SniIconPixmapList iconPixmaps() const;
    SniToolTip toolTip() const;
    QString iconThemePath() const { return m_iconThemePath; }
    DBusMenu *menu() const { return m_menu; }

    // The folder whose hicolor tree holds our icon: an installation next to
    // the running binary, the configured installation prefix, or the source
    // tree (empty when none has it).
    static QString findIconThemePath();
    // The chart icon at 16 to 64 px, as ARGB32 in network byte order.
    static const SniIconPixmapList &chartPixmaps();
    // A 16 px fully transparent pixmap: the "no icon" that hosts draw as nothing.
    static SniIconPixmapList blankPixmaps();

    // Called by the adaptor.
    void activate(int x, int y);
    void secondaryActivate();

Q_SIGNALS:
    void activateRequested(QPoint point); // the host's coordinates; QPoint(0,0) when it gave none

    // For the adaptor: its D-Bus signals, sent only on real changes.
    void iconChanged();
    void toolTipChanged();
    void labelChanged(const QString &label, const QString &guide);

private:
    bool publish();
    void withdraw();
    void ownerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);
    void registerWithWatcher();
    void noWatcher();
    bool startFallback(); // false when no tray icon can be made
    void stopFallback();

    QDBusConnection m_bus;
    PanelContent *m_content;
    QString m_serviceName;
    QString m_iconThemePath;
    DBusMenu *m_menu;
    QDBusServiceWatcher *m_watcher = nullptr;
    QTimer *m_graceTimer;
    std::unique_ptr<TrayBackend> m_fallback;
    bool m_started = false;
    bool m_live = true;
    bool m_exported = false;
    bool m_published = false;
    bool m_registered = false;
    bool m_noticeShown = false;
};

class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(SniIconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(SniIconPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(SniIconPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
public:
    explicit StatusNotifierItemAdaptor(StatusItem *item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("quillmere-menubar"); }
    QString title() const { return QStringLiteral("Quillmere"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return m_item->shownIconName(); }
    SniIconPixmapList iconPixmap() const { return m_item->iconPixmaps(); }
    QString iconThemePath() const { return m_item->iconThemePath(); }
    QString emptyName() const { return QString(); }
    SniIconPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return m_item->toolTip(); }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(StatusItem::menuPath); }
    QString label() const { return m_item->label(); }
    QString labelGuide() const { return m_item->label(); }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);
    // What the Ayatana hosts send for a middle click instead of SecondaryActivate.
    void XAyatanaSecondaryActivate(uint timestamp);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);
    void XAyatanaNewLabel(const QString &label, const QString &guide);

private:
    StatusItem *m_item;
};
