// The status item as a panel meets it: a host on its own connection to the
// test's session bus plays the StatusNotifierWatcher, reads the item's
// properties and menu, and sends clicks; the item follows a Store on real
// parts against a scripted server.

#include "../state/storerig.h"

#include "commandline.h"
#include "dbusmenu.h"
#include "statusitem.h"
#include "trayfallback.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString hostName = u"statusitem-host"_s;

// Registrations the fake watcher received.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    QStringList registrations;
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service) { registrations.append(service); }
};

// Signals of the item and its menu, in arrival order.
class Recorder : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> messages;
    int count(const QString &member) const
    {
        return int(std::count_if(
            messages.begin(), messages.end(), [&](const QDBusMessage &m) { return m.member() == member; }));
    }
public Q_SLOTS:
    void record(const QDBusMessage &message) { messages.append(message); }
};

class Host {
public:
    Host() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, hostName))
    {
        bus.registerObject(StatusItem::watcherPath, &watcher, QDBusConnection::ExportAllContents);
        for (const QString &name : {u"NewIcon"_s, u"NewToolTip"_s, u"NewStatus"_s, u"XAyatanaNewLabel"_s})
            bus.connect(QString(), StatusItem::itemPath, StatusItem::itemInterface, name, &recorder,
                SLOT(record(QDBusMessage)));
        for (const QString &name : {u"ItemsPropertiesUpdated"_s, u"LayoutUpdated"_s})
            bus.connect(
                QString(), StatusItem::menuPath, DBusMenu::interfaceName, name, &recorder, SLOT(record(QDBusMessage)));
    }
    ~Host()
    {
        release();
        bus.unregisterObject(StatusItem::watcherPath);
        QDBusConnection::disconnectFromBus(hostName);
    }

    bool claim() { return bus.registerService(StatusItem::watcherService); }
    void release() { bus.unregisterService(StatusItem::watcherService); }

    // Calls the item without blocking the event loop: it answers from this thread.
    QDBusMessage call(
        const QString &path, const QString &interface, const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = bus.asyncCall(message);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 10000))
            return {};
        QCoreApplication::processEvents(); // deliver the signals sent before the answer
        return pending.reply();
    }
    QVariantMap properties(
        const QString &path = StatusItem::itemPath, const QString &interface = StatusItem::itemInterface)
    {
        const QDBusMessage reply = call(path, u"org.freedesktop.DBus.Properties"_s, u"GetAll"_s, {interface});
        return qdbus_cast<QVariantMap>(reply.arguments().value(0));
    }
    QDBusMessage menuCall(const QString &method, const QVariantList &arguments = {})
    {
        return call(StatusItem::menuPath, DBusMenu::interfaceName, method, arguments);
    }
    QVariant menuProperty(int id, const QString &name)
    {
        return qdbus_cast<QDBusVariant>(menuCall(u"GetProperty"_s, {id, name}).arguments().value(0)).variant();
    }
    QDBusMessage click(int id)
    {
        return menuCall(u"Event"_s, {id, u"clicked"_s, QVariant::fromValue(QDBusVariant(QString())), 0u});
    }

    QString service; // the item's name on the bus
    QDBusConnection bus;
    FakeWatcher watcher;
    Recorder recorder;
};

template<class T> T fromWire(const QVariant &value)
{
    return qdbus_cast<T>(value.value<QDBusArgument>());
}

// Whether any pixel of the pixmaps can be seen (alpha is the first byte).
bool anyVisible(const SniIconPixmapList &pixmaps)
{
    for (const SniIconPixmap &pixmap : pixmaps) {
        for (qsizetype i = 0; i < pixmap.bytes.size(); i += 4) {
            if (pixmap.bytes.at(i) != 0)
                return true;
        }
    }
    return false;
}

// Whether the theme's SVG file draws anything.
bool drawsAnything(const QString &file)
{
    QSvgRenderer renderer(file);
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

class TestStatusItem : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Rig> m_rig;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<PanelContent> m_content;
    std::unique_ptr<StatusItem> m_item;

    // A connected store (embed link) with the server's first line as title,
    // and a started item registered with the host.
    Store &connectedStore(bool showIcon = true)
    {
        m_rig->defaults->setString(Store::Keys::embedLink, m_rig->backend.server.url(u"/embed/k9"_s).toString());
        Store &store = m_rig->start();
        store.setShowIcon(showIcon);
        return store;
    }
    void startItem(Store &store)
    {
        m_content = std::make_unique<PanelContent>(&store);
        m_item = std::make_unique<StatusItem>(QDBusConnection::sessionBus(), m_content.get());
        m_item->start();
    }
    // The watcher is there, and the item started and registered with it.
    bool startRegistered(Store &store)
    {
        if (!m_host->claim())
            return false;
        startItem(store);
        m_host->service = m_item->serviceName();
        return QTest::qWaitFor([this] { return m_item->registered(); }, 5000);
    }
    bool refreshOnce(Store &store)
    {
        Rig::run(store.refresh());
        return QTest::qWaitFor([&] { return !store.loading(); }, 5000);
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<Rig>();
        m_host = std::make_unique<Host>();
        QVERIFY(m_host->bus.isConnected());
    }
    void cleanup()
    {
        m_item.reset();
        m_content.reset();
        m_host.reset();
        m_rig.reset();
    }

    void registersAndFollowsTheWatcher_data()
    {
        QTest::addColumn<bool>("watcherAtStart");
        QTest::newRow("watcher already there") << true;
        QTest::newRow("watcher appears after start") << false;
    }
    void registersAndFollowsTheWatcher()
    {
        QFETCH(bool, watcherAtStart);
        Store &store = connectedStore();
        if (watcherAtStart)
            QVERIFY(m_host->claim());
        startItem(store);
        const QRegularExpression pattern(
            u"^org\\.kde\\.StatusNotifierItem-%1-\\d+$"_s.arg(QCoreApplication::applicationPid()));
        QVERIFY2(pattern.match(m_item->serviceName()).hasMatch(), qPrintable(m_item->serviceName()));
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(m_item->serviceName()));
        if (!watcherAtStart) {
            QTest::qWait(200);
            QVERIFY(!m_item->registered());
            QVERIFY(m_host->watcher.registrations.isEmpty());
            QVERIFY(m_host->claim());
        }
        QTRY_VERIFY(m_item->registered());
        QCOMPARE(m_host->watcher.registrations, QStringList {m_item->serviceName()});

        // A panel restart: the watcher's name goes and comes back.
        m_host->release();
        QTRY_VERIFY(!m_item->registered());
        QVERIFY(m_host->claim());
        QTRY_VERIFY(m_item->registered());
        QCOMPARE(m_host->watcher.registrations, QStringList(2, m_item->serviceName()));
    }

    // While another way into the panel is live the item gives up its name,
    // so the host drops it; it registers again when it is live once more,
    // and a watcher restart meanwhile does not bring it back early.
    void withdrawsAndComesBack()
    {
        Store &store = connectedStore();
        QVERIFY(startRegistered(store));
        auto owned = [this] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(m_item->serviceName()).value();
        };
        m_item->setLive(false);
        QVERIFY(!owned());
        QVERIFY(!m_item->registered());
        QVERIFY(!m_item->fallbackActive());
        m_host->release();
        QVERIFY(m_host->claim());
        QTest::qWait(200);
        QCOMPARE(m_host->watcher.registrations.size(), 1);
        QVERIFY(!owned());

        m_item->setLive(true);
        QVERIFY(owned());
        QTRY_VERIFY(m_item->registered());
        QCOMPARE(m_host->watcher.registrations, QStringList(2, m_item->serviceName()));
        // The objects stayed exported: the host reads them at once.
        QCOMPARE(m_host->properties().value(u"XAyatanaLabel"_s).toString(), store.title());
    }

    void properties()
    {
        Store &store = connectedStore();
        QVERIFY(startRegistered(store));
        QVERIFY(!store.title().isEmpty());

        const QVariantMap props = m_host->properties();
        QCOMPARE(props.value(u"Category"_s).toString(), u"ApplicationStatus"_s);
        QCOMPARE(props.value(u"Status"_s).toString(), u"Active"_s);
        QCOMPARE(props.value(u"ItemIsMenu"_s).toBool(), false); // clicks come as Activate
        QCOMPARE(props.value(u"Menu"_s).value<QDBusObjectPath>().path(), StatusItem::menuPath);
        QCOMPARE(props.value(u"IconName"_s).toString(), u"quillmere-menubar"_s);
        QCOMPARE(props.value(u"XAyatanaLabelGuide"_s).toString(), store.title());

        // The theme folder the name-only hosts are told about holds both icons.
        const QDir theme(props.value(u"IconThemePath"_s).toString());
        QVERIFY2(QFileInfo::exists(theme.filePath(u"hicolor/scalable/apps/quillmere-menubar.svg"_s)),
            qPrintable(theme.path()));
        QVERIFY(QFileInfo::exists(theme.filePath(u"hicolor/symbolic/apps/quillmere-menubar-symbolic.svg"_s)));

        // ARGB32 in network byte order: the icon's dark background, opaque.
        const auto pixmaps = fromWire<SniIconPixmapList>(props.value(u"IconPixmap"_s));
        QList<int> sizes;
        for (const SniIconPixmap &pixmap : pixmaps) {
            QCOMPARE(pixmap.width, pixmap.height);
            QCOMPARE(pixmap.bytes.size(), qsizetype(pixmap.width) * pixmap.height * 4);
            sizes << pixmap.width;
        }
        QCOMPARE(sizes.first(), 16);
        QCOMPARE(sizes.last(), 64);
        const QByteArray &large = pixmaps.last().bytes;
        const qsizetype at = (32 * 64 + 6) * 4;
        QCOMPARE(large.mid(at, 4), QByteArray::fromHex("ff1d2733"));

        const auto tip = fromWire<SniToolTip>(props.value(u"ToolTip"_s));
        QVERIFY2(tip.text.section(u'\n', 1).startsWith(u"Updated "_s), qPrintable(tip.text));

        // A failed refresh adds the error to the tooltip.
        m_rig->backend.failures.insert(u"embed.dashboard"_s, 500);
        QVERIFY(refreshOnce(store));
        QVERIFY(store.error());
        QTRY_VERIFY(m_host->recorder.count(u"NewToolTip"_s) >= 1);
        const auto failed = fromWire<SniToolTip>(m_host->properties().value(u"ToolTip"_s));
        QVERIFY2(failed.text.endsWith(*store.error()), qPrintable(failed.text));
    }

    // The label is the line; the icon shows when asked to, or when there is
    // no text. Each state is checked as the item starts and after a refresh
    // that changes it, and a signal goes out only for what really changed.
    void labelRuleAndChangeSignals_data()
    {
        QTest::addColumn<bool>("showIconBefore");
        QTest::addColumn<bool>("showIconAfter");
        QTest::addColumn<QString>("lineAfter");
        QTest::addColumn<bool>("iconBefore");
        QTest::addColumn<bool>("iconAfter");
        const QString same = u"$2.4k ($310/8) 3.2x"_s;
        QTest::newRow("nothing changes") << true << true << same << true << true;
        QTest::newRow("icon switched off") << true << false << same << true << false;
        QTest::newRow("icon switched on") << false << true << same << false << true;
        QTest::newRow("new text, icon on") << true << true << u"$3.0k"_s << true << true;
        QTest::newRow("text empties, icon off") << false << false << QString() << false << true;
        QTest::newRow("text empties, icon on") << true << true << QString() << true << true;
    }
    void labelRuleAndChangeSignals()
    {
        QFETCH(bool, showIconBefore);
        QFETCH(bool, showIconAfter);
        QFETCH(QString, lineAfter);
        QFETCH(bool, iconBefore);
        QFETCH(bool, iconAfter);
        const QString lineBefore = u"$2.4k ($310/8) 3.2x"_s;
        m_rig->backend.lines = {lineBefore};
        Store &store = connectedStore(showIconBefore);
        QVERIFY(startRegistered(store));
        const auto check = [this](const QString &line, bool icon) {
            const QVariantMap props = m_host->properties();
            QCOMPARE(props.value(u"XAyatanaLabel"_s).toString(), line);
            QCOMPARE(anyVisible(fromWire<SniIconPixmapList>(props.value(u"IconPixmap"_s))), icon);
            // Hosts that look the name up in the theme folder draw it, or nothing.
            const QString name = props.value(u"IconName"_s).toString();
            const QDir theme(props.value(u"IconThemePath"_s).toString());
            QCOMPARE(drawsAnything(theme.filePath(u"hicolor/scalable/apps/%1.svg"_s.arg(name))), icon);
            // The tooltip carries the line whether or not the icon shows.
            const QString tip = fromWire<SniToolTip>(props.value(u"ToolTip"_s)).text;
            QVERIFY2(line.isEmpty() ? tip.startsWith(u"Updated "_s) : tip.startsWith(line + u'\n'), qPrintable(tip));
        };
        check(lineBefore, iconBefore);
        if (QTest::currentTestFailed())
            return;
        m_host->recorder.messages.clear();

        store.setShowIcon(showIconAfter);
        m_rig->backend.lines = {lineAfter};
        QVERIFY(refreshOnce(store));
        QCOMPARE(store.title(), lineAfter);
        check(lineAfter, iconAfter); // also a round trip: every signal sent before has arrived
        if (QTest::currentTestFailed())
            return;
        Recorder &recorder = m_host->recorder;
        QCOMPARE(recorder.count(u"NewIcon"_s), iconBefore != iconAfter ? 1 : 0);
        QCOMPARE(recorder.count(u"XAyatanaNewLabel"_s), lineBefore != lineAfter ? 1 : 0);
        QCOMPARE(recorder.count(u"NewStatus"_s), 0);
        for (const QDBusMessage &message : recorder.messages) {
            if (message.member() == u"XAyatanaNewLabel"_s)
                QCOMPARE(message.arguments(), (QVariantList {lineAfter, lineAfter}));
        }
    }

    void menuLayoutAndClicks_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QByteArray>("signal");
        QTest::newRow("open") << 0 << u"Open Quillmere"_s << QByteArray(SIGNAL(openRequested()));
        QTest::newRow("refresh") << 1 << u"Refresh"_s << QByteArray();
        QTest::newRow("settings") << 2 << u"Settings…"_s << QByteArray(SIGNAL(settingsRequested()));
        QTest::newRow("quit") << 4 << u"Quit"_s << QByteArray(SIGNAL(quitRequested()));
    }
    void menuLayoutAndClicks()
    {
        QFETCH(int, index);
        QFETCH(QString, label);
        QFETCH(QByteArray, signal);
        Store &store = connectedStore();
        QVERIFY(startRegistered(store));

        const QVariantMap menuProps = m_host->properties(StatusItem::menuPath, DBusMenu::interfaceName);
        QCOMPARE(menuProps.value(u"Version"_s).toUInt(), 3u);
        QCOMPARE(menuProps.value(u"Status"_s).toString(), u"normal"_s);

        const QDBusMessage reply = m_host->menuCall(u"GetLayout"_s, {0, -1, QStringList()});
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        const auto root = fromWire<DBusMenuLayoutItem>(reply.arguments().value(1));
        QCOMPARE(root.id, 0);
        QCOMPARE(root.children.size(), 5);
        QCOMPARE(root.children.at(3).properties.value(u"type"_s).toString(), u"separator"_s);
        const DBusMenuLayoutItem item = root.children.at(index);
        QCOMPARE(item.properties.value(u"label"_s).toString(), label);
        QCOMPARE(item.properties.value(u"enabled"_s).toBool(), true);
        const QDBusMessage grouped = m_host->menuCall(
            u"GetGroupProperties"_s, {QVariant::fromValue(QList<int> {item.id, 99}), QStringList {u"label"_s}});
        const auto groupedItems = qdbus_cast<DBusMenuItemPropertiesList>(grouped.arguments().value(0));
        QCOMPARE(groupedItems.size(), 1);
        QCOMPARE(groupedItems.first().properties, (QVariantMap {{u"label"_s, label}}));
        QCOMPARE(m_host->menuProperty(item.id, u"label"_s).toString(), label);

        std::unique_ptr<QSignalSpy> spy;
        if (!signal.isEmpty())
            spy = std::make_unique<QSignalSpy>(m_content.get(), signal.constData());
        const int before = m_rig->backend.count(u"embed.dashboard"_s);
        m_rig->backend.delayMs = 300; // keeps the refresh running long enough to see
        QCOMPARE(m_host->click(item.id).type(), QDBusMessage::ReplyMessage);
        if (spy) {
            QTRY_COMPARE(spy->size(), 1);
            QTest::qWait(100);
            QCOMPARE(m_rig->backend.count(u"embed.dashboard"_s), before);
            return;
        }
        // Refresh: a request goes out, and the item is disabled while it runs.
        QTRY_VERIFY(store.loading());
        QTRY_COMPARE(m_rig->backend.count(u"embed.dashboard"_s), before + 1);
        QCOMPARE(m_host->menuProperty(item.id, u"enabled"_s).toBool(), false);
        QTRY_VERIFY(!store.loading());
        QTRY_COMPARE(m_host->recorder.count(u"ItemsPropertiesUpdated"_s), 2);
        const auto updated
            = qdbus_cast<DBusMenuItemPropertiesList>(m_host->recorder.messages.last().arguments().value(0));
        QCOMPARE(updated.size(), 1);
        QCOMPARE(updated.first().id, item.id);
        QCOMPARE(updated.first().properties.value(u"enabled"_s).toBool(), true);
    }

    void menuErrorsAndDisconnectedStore()
    {
        Store &store = m_rig->start(); // no link, not signed in
        QVERIFY(!store.connected());
        QVERIFY(startRegistered(store));
        QCOMPARE(m_host->menuProperty(StatusItem::RefreshItem, u"enabled"_s).toBool(), false);
        const QString invalid = u"org.freedesktop.DBus.Error.InvalidArgs"_s;
        QCOMPARE(m_host->click(99).errorName(), invalid);
        QCOMPARE(m_host->menuCall(u"GetLayout"_s, {99, -1, QStringList()}).errorName(), invalid);
        QCOMPARE(m_host->menuCall(u"GetProperty"_s, {99, u"label"_s}).errorName(), invalid);

        // Hosts that send clicks in groups: the unknown id comes back, the known one acts.
        QSignalSpy opened(m_content.get(), &PanelContent::openRequested);
        const DBusMenuEventList mixed {
            {StatusItem::OpenItem, u"clicked"_s, QDBusVariant(0), 0}, {99, u"clicked"_s, QDBusVariant(0), 0}};
        const QDBusMessage group = m_host->menuCall(u"EventGroup"_s, {QVariant::fromValue(mixed)});
        QVERIFY2(group.type() == QDBusMessage::ReplyMessage, qPrintable(group.errorMessage()));
        QCOMPARE(qdbus_cast<QList<int>>(group.arguments().value(0)), QList<int> {99});
        QTRY_COMPARE(opened.size(), 1);
        const DBusMenuEventList unknown {{99, u"clicked"_s, QDBusVariant(0), 0}};
        QCOMPARE(m_host->menuCall(u"EventGroup"_s, {QVariant::fromValue(unknown)}).errorName(), invalid);
    }

    void activation_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<bool>("activates");
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("activate") << u"Activate"_s << QVariantList {120, 8} << true << false;
        QTest::newRow("context menu") << u"ContextMenu"_s << QVariantList {640, 0} << true << false;
        QTest::newRow("middle click") << u"SecondaryActivate"_s << QVariantList {5, 5} << false << true;
        QTest::newRow("middle click, Ayatana host")
            << u"XAyatanaSecondaryActivate"_s << QVariantList {42u} << false << true;
        QTest::newRow("scroll") << u"Scroll"_s << QVariantList {120, u"vertical"_s} << false << false;
    }
    void activation()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(bool, activates);
        QFETCH(bool, refreshes);
        Store &store = connectedStore();
        QVERIFY(startRegistered(store));
        QSignalSpy activated(m_item.get(), &StatusItem::activateRequested);
        const int before = m_rig->backend.count(u"embed.dashboard"_s);
        const QDBusMessage reply = m_host->call(StatusItem::itemPath, StatusItem::itemInterface, method, arguments);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        if (refreshes)
            QTRY_COMPARE(m_rig->backend.count(u"embed.dashboard"_s), before + 1);
        QTRY_VERIFY(!store.loading());
        QCOMPARE(m_rig->backend.count(u"embed.dashboard"_s), before + (refreshes ? 1 : 0));
        QCOMPARE(activated.size(), activates ? 1 : 0);
        if (activates)
            QCOMPARE(activated.first().first().toPoint(), QPoint(arguments.at(0).toInt(), arguments.at(1).toInt()));
    }

    void trayFallbackMenu()
    {
        Store &store = connectedStore();
        PanelContent content(&store);
        StatusItem item(QDBusConnection::sessionBus(), &content);
        TrayFallback tray;
        tray.setEntries(item.menu()->entries());
        QSignalSpy chosen(&tray, &TrayFallback::entryActivated);
        QStringList texts;
        for (QAction *action : tray.menu()->actions())
            texts << (action->isSeparator() ? u"-"_s : action->text());
        QCOMPARE(texts, (QStringList {u"Open Quillmere"_s, u"Refresh"_s, u"Settings…"_s, u"-"_s, u"Quit"_s}));
        tray.setEnabled(StatusItem::RefreshItem, false);
        QVERIFY(!tray.menu()->actions().at(1)->isEnabled());
        tray.menu()->actions().at(2)->trigger();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toInt(), int(StatusItem::SettingsItem));
    }

    void desktopEntryIsValid()
    {
        const QString entry
            = QFileInfo(QStringLiteral(__FILE__)).dir().filePath(u"../../data/quillmere-menubar.desktop"_s);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.contains("Icon=quillmere-menubar"));
        // Every Exec line is a command the program understands, and the
        // actions are the ones it offers.
        QList<Command::Kind> kinds;
        for (const QByteArray &line : lines) {
            if (!line.startsWith("Exec="))
                continue;
            QStringList arguments = QString::fromUtf8(line.mid(5)).split(u' ');
            arguments.removeAll(u"%u"_s);
            const Command::Parsed parsed = Command::parse(arguments);
            QVERIFY2(parsed.error.isEmpty(), line.constData());
            kinds << parsed.command.kind;
        }
        using K = Command::Kind;
        QCOMPARE(kinds, (QList<K> {K::Run, K::Run, K::Settings, K::Refresh, K::Quit}));
        QProcess validate;
        validate.start(u"desktop-file-validate"_s, {entry});
        QVERIFY2(validate.waitForFinished(), "desktop-file-validate did not run");
        const QByteArray output = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), output.constData());
    }
};

QTEST_MAIN(TestStatusItem)
#include "tst_statusitem.moc"
