#include "statusitem.h"

#include "traybackend.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTimer>
#include <QtEndian>

#include <cstdio>

using namespace Qt::StringLiterals;

QDBusArgument &operator<<(QDBusArgument &argument, const SniIconPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniIconPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

namespace {

const QString relativeIconFile = u"hicolor/scalable/apps/quillmere-menubar.svg"_s;
// Panels ask for 16 to 24 px, more on scaled screens; hosts scale the nearest.
constexpr int pixmapSizes[] = {16, 22, 24, 32, 48, 64};
// How long a vanished watcher may take to come back (a panel restart) before
// the item looks for another way into the panel.
constexpr int watcherGraceMs = 3000;

int nextSerial()
{
    static int serial = 0;
    return ++serial;
}

SniIconPixmap toWire(QImage image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    SniIconPixmap pixmap {image.width(), image.height(), {}};
    pixmap.bytes.resize(qsizetype(image.width()) * image.height() * 4);
    auto *out = reinterpret_cast<quint32 *>(pixmap.bytes.data());
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            *out++ = qToBigEndian(line[x]);
    }
    return pixmap;
}

QByteArray iconSvg()
{
    const QString path = StatusItem::findIconThemePath();
    if (path.isEmpty())
        return {};
    QFile file(QDir(path).filePath(relativeIconFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

StatusItem::StatusItem(QDBusConnection bus, PanelContent *content, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_content(content),
      m_serviceName(u"org.kde.StatusNotifierItem-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(nextSerial())),
      m_iconThemePath(findIconThemePath()), m_menu(new DBusMenu(this)), m_graceTimer(new QTimer(this))
{
    qDBusRegisterMetaType<SniIconPixmap>();
    qDBusRegisterMetaType<SniIconPixmapList>();
    qRegisterMetaType<SniIconPixmapList>("SniIconPixmapList"); // the name the adaptor's properties use
    qDBusRegisterMetaType<SniToolTip>();
    new StatusNotifierItemAdaptor(this);

    m_menu->setIconThemePath(m_iconThemePath);
    m_menu->setEntries(m_content->menuEntries());
    connect(m_menu, &DBusMenu::activated, m_content, &PanelContent::activate);

    connect(m_content, &PanelContent::iconShownChanged, this, &StatusItem::iconChanged);
    connect(m_content, &PanelContent::labelChanged, this,
        [this] { Q_EMIT labelChanged(m_content->label(), m_content->label()); });
    connect(m_content, &PanelContent::toolTipChanged, this, [this] {
        if (m_fallback)
            m_fallback->setToolTip(m_content->toolTip());
        Q_EMIT toolTipChanged();
    });
    connect(m_content, &PanelContent::refreshEnabledChanged, this, [this] {
        m_menu->setEnabled(RefreshItem, m_content->refreshEnabled());
        if (m_fallback)
            m_fallback->setEnabled(RefreshItem, m_content->refreshEnabled());
    });

    m_graceTimer->setSingleShot(true);
    m_graceTimer->setInterval(watcherGraceMs);
    connect(m_graceTimer, &QTimer::timeout, this, [this] {
        if (!m_registered && m_live)
            noWatcher();
    });
}

StatusItem::~StatusItem()
{
    stopFallback();
    if (m_exported) {
        if (m_published)
            m_bus.unregisterService(m_serviceName);
        m_bus.unregisterObject(itemPath);
        m_menu->withdraw();
    }
}

void StatusItem::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_bus.isConnected()) {
        // Objects first, so that a host that sees the name can read them at once.
        m_exported = m_bus.registerObject(itemPath, this, QDBusConnection::ExportAdaptors)
            && m_menu->exportOn(m_bus, menuPath);
        if (!m_exported)
            qWarning("status item: could not export %s on the session bus", qPrintable(m_serviceName));
    }
    if (m_exported) {
        m_watcher = new QDBusServiceWatcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &StatusItem::ownerChanged);
    }
    if (m_live)
        publish();
}

void StatusItem::setLive(bool live)
{
    if (live == m_live)
        return;
    m_live = live;
    if (!m_started)
        return;
    if (live)
        publish();
    else
        withdraw();
}

bool StatusItem::publish()
{
    if (m_exported && !m_published) {
        m_published = m_bus.registerService(m_serviceName);
        if (!m_published)
            qWarning("status item: could not own %s on the session bus", qPrintable(m_serviceName));
    }
    if (!m_published) {
        noWatcher();
        return false;
    }
    if (m_bus.interface()->isServiceRegistered(watcherService))
        registerWithWatcher();
    else
        noWatcher();
    return true;
}

void StatusItem::withdraw()
{
    // Hosts drop an item whose name goes away; the objects stay exported for
    // the next time.
    m_graceTimer->stop();
    stopFallback();
    if (m_published)
        m_bus.unregisterService(m_serviceName);
    m_published = false;
    m_registered = false;
}

void StatusItem::ownerChanged(const QString &, const QString &, const QString &newOwner)
{
    m_registered = false;
    if (!m_published)
        return; // withdrawn: the watcher is followed again when the item comes back
    if (newOwner.isEmpty()) {
        m_graceTimer->start();
        return;
    }
    m_graceTimer->stop();
    registerWithWatcher();
}

void StatusItem::registerWithWatcher()
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(watcherService, watcherPath, watcherService, u"RegisterStatusNotifierItem"_s);
    call << m_serviceName;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *pending) {
        pending->deleteLater();
        const QDBusPendingReply<> reply = *pending;
        if (!m_published)
            return; // withdrawn meanwhile
        if (reply.isError()) {
            qWarning("status item: the panel's watcher refused the item: %s", qPrintable(reply.error().message()));
            // A newer owner may already have been asked; only a live one counts.
            if (!m_bus.interface()->isServiceRegistered(watcherService))
                noWatcher();
            return;
        }
        m_registered = true;
        stopFallback();
    });
}

void StatusItem::noWatcher()
{
    if (m_fallback)
        return;
    if (startFallback())
        return;
    if (m_noticeShown)
        return;
    m_noticeShown = true;
    std::fputs("quillmere-menubar: no status-item host found in the panel; launch quillmere-menubar again "
               "(or its application menu entry) to open the window.\n",
        stderr);
}

bool StatusItem::startFallback()
{
    TrayBackend::Callbacks callbacks;
    callbacks.entryActivated = [this](int id) { m_content->activate(id); };
    callbacks.clicked = [this](QPoint point) { Q_EMIT activateRequested(point); };
    callbacks.middleClicked = [this] { secondaryActivate(); };
    m_fallback = TrayBackend::create(callbacks);
    if (!m_fallback)
        return false;
    // An XEmbed tray shows no text: the icon is always there, the line in the tooltip.
    QIcon icon;
    for (const SniIconPixmap &pixmap : chartPixmaps()) {
        QImage image(pixmap.width, pixmap.height, QImage::Format_ARGB32);
        const auto *in = reinterpret_cast<const quint32 *>(pixmap.bytes.constData());
        for (int y = 0; y < pixmap.height; ++y) {
            auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
            for (int x = 0; x < pixmap.width; ++x)
                line[x] = qFromBigEndian(*in++);
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    m_fallback->setIcon(icon);
    m_fallback->setToolTip(m_content->toolTip());
    m_fallback->setEntries(m_content->menuEntries());
    m_fallback->show();
    return true;
}

void StatusItem::stopFallback()
{
    m_fallback.reset();
}

void StatusItem::activate(int x, int y)
{
    Q_EMIT activateRequested(QPoint(x, y));
}

void StatusItem::secondaryActivate()
{
    m_content->refresh();
}

SniIconPixmapList StatusItem::iconPixmaps() const
{
    return iconShown() ? chartPixmaps() : blankPixmaps();
}

SniToolTip StatusItem::toolTip() const
{
    return {iconName, {}, u"Quillmere"_s, m_content->toolTip()};
}

QString StatusItem::findIconThemePath()
{
    QStringList candidates {QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/icons"_s)};
#ifdef QUILLMERE_INSTALLED_ICONS
    candidates << QStringLiteral(QUILLMERE_INSTALLED_ICONS);
#endif
#ifdef QUILLMERE_SOURCE_ICONS
    candidates << QStringLiteral(QUILLMERE_SOURCE_ICONS);
#endif
    for (const QString &candidate : std::as_const(candidates)) {
        if (QFileInfo::exists(QDir(candidate).filePath(relativeIconFile)))
            return QDir::cleanPath(candidate);
    }
    return QString();
}

const SniIconPixmapList &StatusItem::chartPixmaps()
{
    static const SniIconPixmapList pixmaps = [] {
        SniIconPixmapList list;
        QSvgRenderer renderer(iconSvg());
        if (!renderer.isValid())
            return list;
        for (int size : pixmapSizes) {
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            renderer.render(&painter, QRectF(0, 0, size, size));
            painter.end();
            list.append(toWire(image));
        }
        return list;
    }();
    return pixmaps;
}

SniIconPixmapList StatusItem::blankPixmaps()
{
    return {{16, 16, QByteArray(16 * 16 * 4, '\0')}};
}

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusItem *item) : QDBusAbstractAdaptor(item), m_item(item)
{
    connect(item, &StatusItem::iconChanged, this, &StatusNotifierItemAdaptor::NewIcon);
    connect(item, &StatusItem::toolTipChanged, this, &StatusNotifierItemAdaptor::NewToolTip);
    connect(item, &StatusItem::labelChanged, this, &StatusNotifierItemAdaptor::XAyatanaNewLabel);
}

void StatusNotifierItemAdaptor::Activate(int x, int y)
{
    m_item->activate(x, y);
}

void StatusNotifierItemAdaptor::SecondaryActivate(int, int)
{
    m_item->secondaryActivate();
}

void StatusNotifierItemAdaptor::XAyatanaSecondaryActivate(uint)
{
    m_item->secondaryActivate();
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y)
{
    // Only hosts that draw no menu of their own ask for one: show the window.
    m_item->activate(x, y);
}

void StatusNotifierItemAdaptor::Scroll(int, const QString &)
{
    // Scrolling over the item changes nothing.
}
