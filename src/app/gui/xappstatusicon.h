#pragma once

#include "panelswitch.h"
#include "placement.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class PanelContent;

// Wire type of org.freedesktop.DBus.ObjectManager.GetManagedObjects: a{oa{sa{sv}}}.
using XAppInterfaceMap = QMap<QString, QVariantMap>;
using XAppManagedObjects = QMap<QDBusObjectPath, XAppInterfaceMap>;
Q_DECLARE_METATYPE(XAppInterfaceMap)
Q_DECLARE_METATYPE(XAppManagedObjects)

// The program in the panel of Cinnamon and MATE: an org.x.StatusIcon, the
// status icon of the XApp library, which those panels' status applets show
// with its text label next to the icon. Like the library's own icons it is
// one object under an object manager at /org/x/StatusIcon, published under a
// bus name org.x.StatusIcon.*; the applets (the "monitors", bus names
// org.x.StatusIconMonitor.*) find it by that name, read its properties, follow
// their changes and send it the clicks on it.
//
// The panel switch makes it live while a monitor is on the bus; then the
// name is owned and the objects exported, otherwise nothing of it is there.
class XAppStatusIcon : public QObject, public PanelBackend {
    Q_OBJECT
public:
    static inline const QString interfaceName = QStringLiteral("org.x.StatusIcon");
    static inline const QString managerPath = QStringLiteral("/org/x/StatusIcon");
    static inline const QString iconPath = QStringLiteral("/org/x/StatusIcon/Icon");
    static inline const QString servicePrefix = QStringLiteral("org.x.StatusIcon.");
    static inline const QString monitorPrefix = QStringLiteral("org.x.StatusIconMonitor");
    // Cinnamon's applet is a monitor inside the cinnamon process; the library
    // names monitors after their program.
    static inline const QString cinnamonMonitorPrefix = QStringLiteral("org.x.StatusIconMonitor.cinnamon");
    static inline const QString name = QStringLiteral("quillmere-menubar");
    static inline const QString symbolicIconName = QStringLiteral("quillmere-menubar-symbolic");
    static inline const QString blankIconName = QStringLiteral("quillmere-menubar-blank");

    // Mouse buttons as the monitors number them (X11's).
    enum Button : uint { LeftButton = 1, MiddleButton = 2, RightButton = 3 };

    XAppStatusIcon(QDBusConnection bus, PanelContent *content, QObject *parent = nullptr);
    ~XAppStatusIcon() override; // withdraws

    void setLive(bool live) override;
    bool live() const { return m_live; }
    QString serviceName() const { return m_serviceName; }

    // The properties as published now (org.x.StatusIcon's names).
    QVariantMap properties() const { return m_published; }

    // What the open windows are, for the applets' menu-state properties: the
    // popover is the "primary menu", our menu of actions the secondary one.
    void setPrimaryMenuOpen(bool open);
    void setSecondaryMenuOpen(bool open);

    // Set by a monitor (the panel's icon size), read back by it.
    int iconSize() const { return m_iconSize; }
    void setIconSize(int size);

    // The rules it follows.
    // Pango markup of plain text: &, < and > escaped (quotes need no escaping
    // outside attributes).
    static QString escapeMarkup(const QString &text);
    // The panel's edge from the position a monitor passes (GtkPositionType);
    // one no monitor sends is taken as a bottom panel, Cinnamon's default.
    static placement::Edge edgeFromPanelPosition(int position);
    // The icon's edge on the panel's inner side, from the corner a monitor
    // passes: Cinnamon gives the corner on that side that comes first along
    // the panel (the top-left one on a bottom panel, the bottom-left on a top
    // one, the top-right on a left one, the top-left on a right one) and no
    // size; the icon image is iconSize long along the panel from there.
    static QRect anchorFromCorner(QPoint corner, placement::Edge edge, int iconSize);
    // The icon the monitors are told: the themed symbolic icon when it is
    // installed, else the icon file's absolute path; while only the text shows,
    // nothing for Cinnamon's applet (it hides an unnamed icon) and the blank
    // icon for the others (they draw "image-missing" for it).
    struct IconFiles {
        bool symbolicInstalled = false;
        QString iconFile; // absolute path of the colour icon
        QString blankFile; // absolute path of the blank icon
        bool blankInstalled = false;
    };
    static QString iconNameFor(bool iconShown, bool onlyCinnamon, const IconFiles &files);
    static IconFiles findIconFiles();

    // From the adaptor.
    void buttonRelease(int x, int y, uint button, int panelPosition);

Q_SIGNALS:
    // A left click: toggle the popover next to anchor (logical pixels) on a
    // panel at edge.
    void popoverRequested(QRect anchor, placement::Edge edge);
    // A right click: our menu of the actions there.
    void menuRequested(QRect anchor, placement::Edge edge);

private:
    QVariantMap computeProperties() const;
    void sync(); // publishes what changed
    void publish();
    void withdraw();
    void readMonitors();

private Q_SLOTS:
    void monitorOwnerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);

private:
    QDBusConnection m_bus;
    PanelContent *m_content;
    QString m_serviceName;
    IconFiles m_files;
    QObject *m_manager;
    QStringList m_monitors;
    QVariantMap m_published;
    bool m_live = false;
    bool m_exported = false;
    bool m_primaryOpen = false;
    bool m_secondaryOpen = false;
    int m_iconSize = 0;
};

class XAppStatusIconAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.x.StatusIcon")
    Q_PROPERTY(QString Name READ name)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QString TooltipText READ tooltipText)
    Q_PROPERTY(QString Label READ label)
    Q_PROPERTY(bool Visible READ visible)
    Q_PROPERTY(int IconSize READ iconSize WRITE setIconSize)
    Q_PROPERTY(bool PrimaryMenuIsOpen READ primaryMenuIsOpen)
    Q_PROPERTY(bool SecondaryMenuIsOpen READ secondaryMenuIsOpen)
    Q_PROPERTY(QString Metadata READ metadata)
public:
    explicit XAppStatusIconAdaptor(XAppStatusIcon *icon);

    QString name() const { return value(u"Name").toString(); }
    QString iconName() const { return value(u"IconName").toString(); }
    QString tooltipText() const { return value(u"TooltipText").toString(); }
    QString label() const { return value(u"Label").toString(); }
    bool visible() const { return value(u"Visible").toBool(); }
    int iconSize() const { return m_icon->iconSize(); }
    void setIconSize(int size) { m_icon->setIconSize(size); }
    bool primaryMenuIsOpen() const { return value(u"PrimaryMenuIsOpen").toBool(); }
    bool secondaryMenuIsOpen() const { return value(u"SecondaryMenuIsOpen").toBool(); }
    QString metadata() const { return value(u"Metadata").toString(); }

public Q_SLOTS:
    void ButtonPress(int x, int y, uint button, uint time, int panelPosition);
    void ButtonRelease(int x, int y, uint button, uint time, int panelPosition);
    void Scroll(int delta, int orientation, uint time);

private:
    QVariant value(QStringView key) const { return m_icon->properties().value(key.toString()); }

    XAppStatusIcon *m_icon;
};

// The object manager the monitors list the icon with.
class XAppObjectManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.ObjectManager")
public:
    explicit XAppObjectManager(XAppStatusIcon *icon);

public Q_SLOTS:
    // The icon is exported only while the name is owned, so it is listed
    // here and never announced as added or removed.
    XAppManagedObjects GetManagedObjects() const;

private:
    XAppStatusIcon *m_icon;
};
