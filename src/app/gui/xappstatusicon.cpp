#include "xappstatusicon.h"

#include "panelcontent.h"
#include "statusitem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString busService = u"org.freedesktop.DBus"_s;
const QString busPath = u"/org/freedesktop/DBus"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;
// Until a monitor tells the panel's icon size.
constexpr int fallbackIconSize = 16;

// GtkPositionType, which the monitors pass as the panel's position.
enum GtkPosition { GtkPosLeft = 0, GtkPosRight, GtkPosTop, GtkPosBottom };

int nextSerial()
{
    static int serial = 0;
    return serial++;
}

} // namespace

XAppStatusIcon::XAppStatusIcon(QDBusConnection bus, PanelContent *content, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_content(content),
      m_serviceName(
          u"%1quillmere_menubar_%2_%3"_s.arg(servicePrefix).arg(QCoreApplication::applicationPid()).arg(nextSerial())),
      m_files(findIconFiles()), m_manager(new XAppObjectManager(this))
{
    qDBusRegisterMetaType<XAppInterfaceMap>();
    qDBusRegisterMetaType<XAppManagedObjects>();
    new XAppStatusIconAdaptor(this);

    m_published = computeProperties();
    for (auto signal : {&PanelContent::labelChanged, &PanelContent::iconShownChanged, &PanelContent::toolTipChanged})
        connect(m_content, signal, this, &XAppStatusIcon::sync);
}

XAppStatusIcon::~XAppStatusIcon()
{
    withdraw();
}

void XAppStatusIcon::setLive(bool live)
{
    if (live == m_live)
        return;
    m_live = live;
    if (live)
        publish();
    else
        withdraw();
}

void XAppStatusIcon::publish()
{
    if (!m_bus.isConnected())
        return;
    // Which applets show the icon decides how a hidden icon is named; they
    // come and go with the panels.
    m_bus.connect(busService, busPath, busService, u"NameOwnerChanged"_s, this,
        SLOT(monitorOwnerChanged(QString, QString, QString)));
    readMonitors();
    m_published = computeProperties();
    // Objects first: a monitor that sees the name lists them at once.
    m_exported = m_bus.registerObject(managerPath, m_manager, QDBusConnection::ExportAllSlots)
        && m_bus.registerObject(iconPath, this, QDBusConnection::ExportAdaptors)
        && m_bus.registerService(m_serviceName);
    if (!m_exported) {
        qWarning("XApp status icon: could not publish %s on the session bus", qPrintable(m_serviceName));
        withdraw();
    }
}

void XAppStatusIcon::withdraw()
{
    if (!m_bus.isConnected())
        return;
    m_bus.disconnect(busService, busPath, busService, u"NameOwnerChanged"_s, this,
        SLOT(monitorOwnerChanged(QString, QString, QString)));
    // The name goes first: the monitors drop the icon when it does.
    m_bus.unregisterService(m_serviceName);
    m_bus.unregisterObject(iconPath);
    m_bus.unregisterObject(managerPath);
    m_exported = false;
    m_monitors.clear();
}

void XAppStatusIcon::readMonitors()
{
    auto *pending = new QDBusPendingCallWatcher(m_bus.interface()->asyncCall(u"ListNames"_s), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *pending) {
        pending->deleteLater();
        const QDBusPendingReply<QStringList> reply = *pending;
        if (reply.isError() || !m_live)
            return;
        for (const QString &name : reply.value()) {
            if (name.startsWith(monitorPrefix) && !m_monitors.contains(name))
                m_monitors.append(name);
        }
        sync();
    });
}

void XAppStatusIcon::monitorOwnerChanged(const QString &service, const QString &, const QString &newOwner)
{
    if (!service.startsWith(monitorPrefix))
        return;
    m_monitors.removeAll(service);
    if (!newOwner.isEmpty())
        m_monitors.append(service);
    sync();
}

QVariantMap XAppStatusIcon::computeProperties() const
{
    const bool onlyCinnamon = !m_monitors.isEmpty()
        && std::all_of(m_monitors.begin(), m_monitors.end(),
            [](const QString &monitor) { return monitor.startsWith(cinnamonMonitorPrefix); });
    return {
        {u"Name"_s, name},
        {u"IconName"_s, iconNameFor(m_content->iconShown(), onlyCinnamon, m_files)},
        {u"TooltipText"_s, escapeMarkup(m_content->toolTip())},
        {u"Label"_s, m_content->label()},
        {u"Visible"_s, true},
        {u"IconSize"_s, m_iconSize},
        {u"PrimaryMenuIsOpen"_s, m_primaryOpen},
        {u"SecondaryMenuIsOpen"_s, m_secondaryOpen},
        // Both clicks open something of ours: MATE's applet shows the icon
        // pressed while either is open.
        {u"Metadata"_s, u"{\"highlight-both-menus\": true}"_s},
    };
}

void XAppStatusIcon::sync()
{
    const QVariantMap next = computeProperties();
    QVariantMap changed;
    for (auto it = next.begin(); it != next.end(); ++it) {
        if (m_published.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_published = next;
    if (changed.isEmpty() || !m_exported)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(iconPath, propertiesInterface, u"PropertiesChanged"_s);
    signal << interfaceName << changed << QStringList();
    m_bus.send(signal);
}

void XAppStatusIcon::setPrimaryMenuOpen(bool open)
{
    m_primaryOpen = open;
    sync();
}

void XAppStatusIcon::setSecondaryMenuOpen(bool open)
{
    m_secondaryOpen = open;
    sync();
}

void XAppStatusIcon::setIconSize(int size)
{
    m_iconSize = std::max(0, size);
    sync();
}

void XAppStatusIcon::buttonRelease(int x, int y, uint button, int panelPosition)
{
    if (button == MiddleButton) {
        m_content->refresh();
        return;
    }
    if (button != LeftButton && button != RightButton)
        return;
    const placement::Edge edge = edgeFromPanelPosition(panelPosition);
    const QRect anchor = anchorFromCorner(QPoint(x, y), edge, m_iconSize > 0 ? m_iconSize : fallbackIconSize);
    if (button == LeftButton)
        Q_EMIT popoverRequested(anchor, edge);
    else
        Q_EMIT menuRequested(anchor, edge);
}

QString XAppStatusIcon::escapeMarkup(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += u"&amp;"_s;
        else if (c == u'<')
            out += u"&lt;"_s;
        else if (c == u'>')
            out += u"&gt;"_s;
        else
            out += c;
    }
    return out;
}

placement::Edge XAppStatusIcon::edgeFromPanelPosition(int position)
{
    switch (position) {
    case GtkPosLeft:
        return placement::Edge::Left;
    case GtkPosRight:
        return placement::Edge::Right;
    case GtkPosTop:
        return placement::Edge::Top;
    default:
        return placement::Edge::Bottom;
    }
}

QRect XAppStatusIcon::anchorFromCorner(QPoint corner, placement::Edge edge, int iconSize)
{
    const bool alongX = edge == placement::Edge::Top || edge == placement::Edge::Bottom;
    return QRect(corner, alongX ? QSize(iconSize, 0) : QSize(0, iconSize));
}

QString XAppStatusIcon::iconNameFor(bool iconShown, bool onlyCinnamon, const IconFiles &files)
{
    if (!iconShown) {
        if (onlyCinnamon)
            return QString();
        return files.blankInstalled ? blankIconName : files.blankFile;
    }
    return files.symbolicInstalled ? symbolicIconName : files.iconFile;
}

XAppStatusIcon::IconFiles XAppStatusIcon::findIconFiles()
{
    // The applets look icons up in the hicolor theme of the data folders,
    // the same ones we see.
    const auto installed = [](const QString &relative) {
        return !QStandardPaths::locate(QStandardPaths::GenericDataLocation, u"icons/hicolor/"_s + relative).isEmpty();
    };
    IconFiles files;
    files.symbolicInstalled = installed(u"symbolic/apps/%1.svg"_s.arg(symbolicIconName));
    files.blankInstalled = installed(u"scalable/apps/%1.svg"_s.arg(blankIconName));
    const QString themePath = StatusItem::findIconThemePath();
    if (!themePath.isEmpty()) {
        const QDir theme(themePath);
        files.iconFile = theme.filePath(u"hicolor/scalable/apps/%1.svg"_s.arg(StatusItem::iconName));
        files.blankFile = theme.filePath(u"hicolor/scalable/apps/%1.svg"_s.arg(blankIconName));
    }
    return files;
}

XAppStatusIconAdaptor::XAppStatusIconAdaptor(XAppStatusIcon *icon) : QDBusAbstractAdaptor(icon), m_icon(icon) { }

void XAppStatusIconAdaptor::ButtonPress(int, int, uint, uint, int)
{
    // Everything happens on the release, as with the library's icons.
}

void XAppStatusIconAdaptor::ButtonRelease(int x, int y, uint button, uint, int panelPosition)
{
    m_icon->buttonRelease(x, y, button, panelPosition);
}

void XAppStatusIconAdaptor::Scroll(int, int, uint)
{
    // Scrolling over the icon changes nothing.
}

XAppObjectManager::XAppObjectManager(XAppStatusIcon *icon) : QObject(icon), m_icon(icon) { }

XAppManagedObjects XAppObjectManager::GetManagedObjects() const
{
    return {{QDBusObjectPath(XAppStatusIcon::iconPath), {{XAppStatusIcon::interfaceName, m_icon->properties()}}}};
}
