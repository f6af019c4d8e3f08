#include "plasmapanel.h"

#include <QCoro/QCoroDBus>
#include <QDBusMessage>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace plasmapanel {

namespace {

const QString kPanelPlugin = QStringLiteral("org.kde.panel");
const QString kShellPath = QStringLiteral("/PlasmaShell");
const QString kShellInterface = QStringLiteral("org.kde.PlasmaShell");
const QString kEvaluateScript = QStringLiteral("evaluateScript");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
// Texts used inside coroutines (GCC 12 cannot take string literals there).
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kNameHasOwner = QStringLiteral("NameHasOwner");
const QString kServiceUnknownError = QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown");
const QString kAdded = QStringLiteral("added");
const QString kPresent = QStringLiteral("present");
const QString kNoPanel = QStringLiteral("no-panel");

} // namespace

QString appletsConfigPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + u"/plasma-org.kde.plasma.desktop-appletsrc"_s;
}

bool inPanel(const QString &appletsConfig)
{
    // Groups read [Containments][C] for a panel or desktop and
    // [Containments][C][Applets][A] for a widget in it; each names its plugin.
    static const QRegularExpression groupName(uR"(\[([^\]]*)\])"_s);
    QHash<QString, QString> containmentPlugins;
    QStringList widgetContainments;
    QStringList group;
    for (const QString &raw : appletsConfig.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            group.clear();
            for (auto match = groupName.globalMatch(line); match.hasNext();)
                group << match.next().captured(1);
            continue;
        }
        if (!line.startsWith(u"plugin="_s) || group.value(0) != u"Containments"_s)
            continue;
        const QString plugin = line.mid(7).trimmed();
        if (group.size() == 2)
            containmentPlugins.insert(group.at(1), plugin);
        else if (group.size() == 4 && group.at(2) == u"Applets"_s && plugin == widgetId)
            widgetContainments << group.at(1);
    }
    for (const QString &containment : std::as_const(widgetContainments)) {
        if (containmentPlugins.value(containment) == kPanelPlugin)
            return true;
    }
    return false;
}

bool installed()
{
    return !QStandardPaths::locate(
        QStandardPaths::GenericDataLocation, u"plasma/plasmoids/"_s + widgetId + u"/metadata.json"_s)
                .isEmpty();
}

QCoro::Task<bool> shouldOffer(QDBusConnection bus)
{
    if (!installed() || !bus.isConnected())
        co_return false;
    QDBusMessage message = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, kNameHasOwner);
    message << shellService;
    const QDBusMessage reply = co_await bus.asyncCall(message);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
        co_return false;
    QFile config(appletsConfigPath());
    if (!config.open(QIODevice::ReadOnly))
        co_return true; // a first start: nothing in a panel yet
    co_return !inPanel(QString::fromUtf8(config.readAll()));
}

QString addScript()
{
    // Plasma's scripting cannot move a widget, but one created at a point of
    // a panel goes where that point is: at the system tray's near edge it
    // goes just before the tray. A panel without a tray gets it at its end.
    return uR"js(
var id = "%1";
var all = panels();
var result = "no-panel";
for (var i = 0; i < all.length; ++i) {
    if (all[i].widgets(id).length > 0)
        result = "present";
}
if (result !== "present" && all.length > 0) {
    var target = all[0];
    var tray = null;
    for (var i = 0; i < all.length && tray === null; ++i) {
        var trays = all[i].widgets("org.kde.plasma.systemtray");
        if (trays.length > 0) {
            target = all[i];
            tray = trays[0];
        }
    }
    if (tray !== null) {
        var at = tray.geometry;
        target.addWidget(id, at.x + 1, at.y + 1, 1, 1);
    } else {
        target.addWidget(id, -1, -1, -1, -1);
    }
    result = target.widgets(id).length > 0 ? "added" : "failed";
}
print(result);
)js"_s.arg(widgetId);
}

QCoro::Task<AddResult> add(QDBusConnection bus, QString *error)
{
    if (!installed())
        co_return AddResult::NotInstalled;
    QDBusMessage message = QDBusMessage::createMethodCall(shellService, kShellPath, kShellInterface, kEvaluateScript);
    message << addScript();
    const QDBusMessage reply = co_await bus.asyncCall(message);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == kServiceUnknownError)
            co_return AddResult::NoPlasma;
        if (error)
            *error = reply.errorMessage();
        co_return AddResult::Failed;
    }
    const QString printed = reply.arguments().value(0).toString().trimmed();
    if (printed == kAdded)
        co_return AddResult::Added;
    if (printed == kPresent)
        co_return AddResult::Present;
    if (printed == kNoPanel)
        co_return AddResult::NoPanel;
    if (error)
        *error = printed;
    co_return AddResult::Failed;
}

QString describe(AddResult result)
{
    switch (result) {
    case AddResult::Added:
        return u"The Quillmere widget is in the panel now."_s;
    case AddResult::Present:
        return u"A panel holds the Quillmere widget already."_s;
    case AddResult::NoPanel:
        return u"Plasma has no panel to put the widget in."_s;
    case AddResult::NoPlasma:
        return u"Plasma's shell is not running."_s;
    case AddResult::NotInstalled:
        return u"The Quillmere panel widget is not installed."_s;
    case AddResult::Failed:
        break;
    }
    return u"Plasma did not add the widget."_s;
}

} // namespace plasmapanel
