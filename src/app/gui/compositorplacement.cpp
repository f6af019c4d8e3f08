#include "compositorplacement.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QQuickWindow>
#include <QTemporaryFile>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

QPoint clampedInto(QPoint topLeft, QSize size, QRect area)
{
    return {std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - size.width())),
        std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - size.height()))};
}

namespace {

QRect rectOf(const QJsonObject &object)
{
    return QRect(object.value(u"x").toInt(), object.value(u"y").toInt(), object.value(u"width").toInt(),
        object.value(u"height").toInt());
}

// Calls then on the window's first frame from now, or at once when it shows
// one already: only a window that has drawn is mapped and can be moved.
void afterFirstFrame(QWindow *window, QObject *context, std::function<void()> then)
{
    auto *quick = qobject_cast<QQuickWindow *>(window);
    if (!quick || quick->isExposed()) {
        QTimer::singleShot(0, context, std::move(then));
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(quick, &QQuickWindow::frameSwapped, context, [connection, then = std::move(then)] {
        QObject::disconnect(*connection);
        then();
    });
}

// sway's IPC (i3's protocol): "i3-ipc", payload length and message type as
// native 32-bit integers, then the JSON payload; replies look the same.
class SwayPlacement final : public CompositorPlacement {
public:
    static constexpr quint32 runCommand = 0;
    static constexpr quint32 getTree = 4;
    // The window maps a moment after its first frame; until then the tree
    // does not list it.
    static constexpr int attempts = 40;
    static constexpr int retryMs = 25;

    SwayPlacement(const QString &socketPath, QObject *parent) : CompositorPlacement(parent), m_path(socketPath)
    {
        m_retry.setSingleShot(true);
        m_retry.setInterval(retryMs);
        connect(&m_retry, &QTimer::timeout, this, &SwayPlacement::askForTree);
        connect(&m_socket, &QLocalSocket::readyRead, this, &SwayPlacement::read);
        connect(&m_socket, &QLocalSocket::errorOccurred, this, [this] { fail(m_socket.errorString()); });
    }

    Kind kind() const override { return Kind::Sway; }

    void place(QWindow *window, QPoint topLeft) override
    {
        m_window = window;
        m_target = topLeft;
        m_attemptsLeft = attempts;
        m_retry.stop();
        const quint64 generation = ++m_generation;
        afterFirstFrame(window, this, [this, generation] {
            if (generation == m_generation)
                askForTree();
        });
    }

private:
    void send(quint32 type, const QByteArray &payload)
    {
        if (m_socket.state() != QLocalSocket::ConnectedState) {
            m_socket.abort();
            m_buffer.clear();
            m_socket.connectToServer(m_path);
        }
        QByteArray message("i3-ipc");
        char header[8];
        qToLittleEndian<quint32>(quint32(payload.size()), header);
        qToLittleEndian<quint32>(type, header + 4);
        message.append(header, sizeof header).append(payload);
        m_socket.write(message);
    }

    void askForTree()
    {
        if (!m_window)
            return;
        m_awaiting = getTree;
        send(getTree, {});
    }

    void read()
    {
        m_buffer += m_socket.readAll();
        constexpr int headerSize = 14;
        while (m_buffer.size() >= headerSize) {
            const auto length = qFromLittleEndian<quint32>(m_buffer.constData() + 6);
            const auto type = qFromLittleEndian<quint32>(m_buffer.constData() + 10);
            if (!m_buffer.startsWith("i3-ipc")) {
                fail(u"not an i3-ipc reply"_s);
                return;
            }
            if (m_buffer.size() < headerSize + qsizetype(length))
                return;
            const QByteArray payload = m_buffer.mid(headerSize, length);
            m_buffer.remove(0, headerSize + length);
            reply(type, QJsonDocument::fromJson(payload));
        }
    }

    struct Found {
        qint64 id = 0;
        QRect rect; // the container with its border
        QRect windowRect; // the window inside it, relative
        QRect usable; // its workspace: the output without bars
    };

    // Our window in the tree: a container of this process with our title.
    std::optional<Found> find(const QJsonObject &node, QRect usable) const
    {
        const QRect rect = rectOf(node.value(u"rect").toObject());
        if (node.value(u"type").toString() == u"workspace")
            usable = rect;
        if (node.value(u"pid").toInteger() == QCoreApplication::applicationPid() && m_window
            && node.value(u"name").toString() == m_window->title())
            return Found {node.value(u"id").toInteger(), rect, rectOf(node.value(u"window_rect").toObject()), usable};
        for (const QString &key : {u"nodes"_s, u"floating_nodes"_s}) {
            const QJsonArray children = node.value(key).toArray();
            for (const QJsonValue &child : children) {
                if (auto found = find(child.toObject(), usable))
                    return found;
            }
        }
        return std::nullopt;
    }

    void reply(quint32 type, const QJsonDocument &document)
    {
        if (type != m_awaiting)
            return;
        if (type == getTree) {
            const std::optional<Found> found = find(document.object(), {});
            if (!found) {
                if (--m_attemptsLeft > 0)
                    m_retry.start();
                else
                    fail(u"our window never appeared in the tree"_s);
                return;
            }
            // The container goes where its window's corner must be.
            const QPoint inset = found->windowRect.topLeft();
            const QPoint corner
                = clampedInto(m_target - inset, found->rect.size(), found->usable.isValid() ? found->usable : QRect());
            m_placed = QRect(corner + inset, found->windowRect.size());
            m_awaiting = runCommand;
            send(runCommand,
                u"[con_id=%1] move absolute position %2 %3"_s.arg(found->id).arg(corner.x()).arg(corner.y()).toUtf8());
            return;
        }
        const QJsonObject result = document.array().at(0).toObject();
        m_awaiting = 0xffffffff;
        if (result.value(u"success").toBool())
            Q_EMIT placed(m_placed);
        else
            fail(result.value(u"error").toString());
    }

    void fail(const QString &reason)
    {
        m_awaiting = 0xffffffff;
        Q_EMIT failed(reason);
    }

    QString m_path;
    QLocalSocket m_socket;
    QByteArray m_buffer;
    QTimer m_retry;
    QPointer<QWindow> m_window;
    QPoint m_target;
    QRect m_placed;
    int m_attemptsLeft = 0;
    quint64 m_generation = 0;
    quint32 m_awaiting = 0xffffffff;
};

// KWin runs a small script of ours: it finds this process's window with our
// title, or waits for it to appear, and moves it inside the work area of its
// output. The script is loaded before the window maps, so KWin places it
// before it is first drawn, and unloaded again once it has run.
class KWinPlacement final : public CompositorPlacement {
    Q_OBJECT
public:
    static inline const QString service = u"org.kde.KWin"_s;
    static constexpr int unloadAfterMs = 3000;

    explicit KWinPlacement(QObject *parent) : CompositorPlacement(parent)
    {
        m_unload.setSingleShot(true);
        m_unload.setInterval(unloadAfterMs);
        connect(&m_unload, &QTimer::timeout, this, &KWinPlacement::unload);
        QDBusConnection::sessionBus().registerObject(reportPath(), this, QDBusConnection::ExportAllSlots);
    }
    ~KWinPlacement() override
    {
        unload();
        QDBusConnection::sessionBus().unregisterObject(reportPath());
    }

    Kind kind() const override { return Kind::KWin; }

    void place(QWindow *window, QPoint topLeft) override
    {
        unload();
        m_script = std::make_unique<QTemporaryFile>(QDir::tempPath() + u"/quillmere-kwin-XXXXXX.js"_s);
        if (!m_script->open()) {
            Q_EMIT failed(m_script->errorString());
            return;
        }
        m_script->write(script(window->title(), topLeft).toUtf8());
        m_script->flush();
        m_pluginName = u"quillmere-placement-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++m_generation);
        QDBusMessage load
            = QDBusMessage::createMethodCall(service, u"/Scripting"_s, u"org.kde.kwin.Scripting"_s, u"loadScript"_s);
        load << m_script->fileName() << m_pluginName;
        const QString name = m_pluginName;
        auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(load), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusPendingReply<int> reply = *call;
            if (name != m_pluginName)
                return;
            if (reply.isError() || reply.value() < 0) {
                Q_EMIT failed(reply.isError() ? reply.error().message() : u"KWin refused the script"_s);
                return;
            }
            run(reply.value(), {u"/%1"_s, u"/Scripting/Script%1"_s});
            m_unload.start();
        });
    }

public Q_SLOTS:
    // The script's report.
    void Placed(const QString &report)
    {
        const QJsonObject object = QJsonDocument::fromJson(report.toUtf8()).object();
        if (object.value(u"plugin").toString() == m_pluginName)
            Q_EMIT placed(rectOf(object));
    }

private:
    // KWin 5 puts a loaded script at /ID, KWin 6 at /Scripting/ScriptID.
    void run(int id, QStringList paths)
    {
        if (paths.isEmpty())
            return;
        const QDBusMessage message
            = QDBusMessage::createMethodCall(service, paths.takeFirst().arg(id), u"org.kde.kwin.Script"_s, u"run"_s);
        auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id, paths](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            if (!call->isError())
                return;
            if (paths.isEmpty())
                Q_EMIT failed(call->error().message());
            else
                run(id, paths);
        });
    }

    static QString reportPath() { return u"/com/velmorcraft/quillmere/menubar/KWinPlacement"_s; }

    QString script(const QString &title, QPoint topLeft) const
    {
        // KWin 5's scripting names windows "clients"; KWin 6 names them
        // "windows".
        return uR"js(
(function () {
    const pid = %1, title = %2, x = %3, y = %4;
    const plugin = %5, service = %6, path = %7;
    function hold(w) {
        const area = workspace.clientArea(KWin.MaximizeArea, w);
        const g = w.frameGeometry;
        const nx = Math.max(area.x, Math.min(x, area.x + area.width - g.width));
        const ny = Math.max(area.y, Math.min(y, area.y + area.height - g.height));
        if (g.x !== nx || g.y !== ny)
            w.frameGeometry = {x: nx, y: ny, width: g.width, height: g.height};
        return {plugin: plugin, x: nx, y: ny, width: g.width, height: g.height};
    }
    function place(w) {
        if (w.pid !== pid || w.caption !== title)
            return;
        callDBus(service, path, "", "Placed", JSON.stringify(hold(w)));
        // KWin may place the window again as it maps or grows: while this
        // script is loaded, the window stays where it was put.
        w.frameGeometryChanged.connect(function () { hold(w); });
    }
    const list = workspace.windowList ? workspace.windowList() : workspace.clientList();
    list.forEach(place);
    (workspace.windowAdded || workspace.clientAdded).connect(place);
})();
)js"_s.arg(QString::number(QCoreApplication::applicationPid()), quoted(title), QString::number(topLeft.x()),
            QString::number(topLeft.y()), quoted(m_pluginName), quoted(QDBusConnection::sessionBus().baseService()),
            quoted(reportPath()));
    }

    static QString quoted(const QString &text)
    {
        return QString::fromUtf8(QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    }

    void unload()
    {
        m_unload.stop();
        if (m_pluginName.isEmpty())
            return;
        QDBusMessage message
            = QDBusMessage::createMethodCall(service, u"/Scripting"_s, u"org.kde.kwin.Scripting"_s, u"unloadScript"_s);
        message << m_pluginName;
        QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
        m_pluginName.clear();
        m_script.reset();
    }

    std::unique_ptr<QTemporaryFile> m_script;
    QString m_pluginName;
    QTimer m_unload;
    quint64 m_generation = 0;
};

} // namespace

std::unique_ptr<CompositorPlacement> CompositorPlacement::forSession(QObject *parent)
{
    const QString swaySocket = qEnvironmentVariable("SWAYSOCK");
    if (!swaySocket.isEmpty())
        return std::make_unique<SwayPlacement>(swaySocket, parent);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(KWinPlacement::service))
        return std::make_unique<KWinPlacement>(parent);
    return nullptr;
}

#include "compositorplacement.moc"
