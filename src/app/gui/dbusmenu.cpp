#include "dbusmenu.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem &child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<DBusMenuLayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemPropertyNames &item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemPropertyNames &item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

void registerDBusMenuTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        // The adaptor's methods and signals name the lists by these names.
        qRegisterMetaType<DBusMenuItemPropertiesList>("DBusMenuItemPropertiesList");
        qRegisterMetaType<DBusMenuItemPropertyNamesList>("DBusMenuItemPropertyNamesList");
        qRegisterMetaType<DBusMenuEventList>("DBusMenuEventList");
        qDBusRegisterMetaType<DBusMenuItemPropertyNames>();
        qDBusRegisterMetaType<DBusMenuItemPropertyNamesList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        return true;
    }();
    Q_UNUSED(done);
}

DBusMenu::DBusMenu(QObject *parent) : QObject(parent)
{
    registerDBusMenuTypes();
    new DBusMenuAdaptor(this);
}

DBusMenu::~DBusMenu()
{
    withdraw();
}

bool DBusMenu::exportOn(QDBusConnection bus, const QString &path)
{
    withdraw();
    if (!bus.registerObject(path, this, QDBusConnection::ExportAdaptors))
        return false;
    m_bus = bus;
    m_path = path;
    return true;
}

void DBusMenu::withdraw()
{
    if (m_path.isEmpty())
        return;
    m_bus.unregisterObject(m_path);
    m_path.clear();
}

void DBusMenu::setEntries(const QList<MenuEntry> &entries)
{
    m_entries = entries;
    ++m_revision;
    Q_EMIT layoutUpdated(m_revision, 0);
}

void DBusMenu::setEnabled(int id, bool enabled)
{
    for (MenuEntry &entry : m_entries) {
        if (entry.id != id || entry.enabled == enabled)
            continue;
        entry.enabled = enabled;
        // The layout carries the properties too: a host that reads it again
        // after this must see the same state.
        ++m_revision;
        Q_EMIT itemsPropertiesUpdated({{id, {{u"enabled"_s, enabled}}}}, {});
        return;
    }
}

const MenuEntry *DBusMenu::find(int id) const
{
    for (const MenuEntry &entry : m_entries) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

QVariantMap DBusMenu::rootProperties() const
{
    return {{u"children-display"_s, u"submenu"_s}};
}

QVariantMap DBusMenu::propertiesOf(const MenuEntry &entry)
{
    if (entry.separator)
        return {{u"type"_s, u"separator"_s}, {u"visible"_s, true}};
    // Labels use "_" for mnemonics; a literal one is doubled.
    QString label = entry.label;
    label.replace(u'_', u"__"_s);
    return {{u"label"_s, label}, {u"enabled"_s, entry.enabled}, {u"visible"_s, true}};
}

QVariantMap DBusMenu::filtered(const QVariantMap &properties, const QStringList &names)
{
    if (names.isEmpty())
        return properties;
    QVariantMap result;
    for (const QString &name : names) {
        if (const auto it = properties.constFind(name); it != properties.constEnd())
            result.insert(name, *it);
    }
    return result;
}

std::optional<QVariantMap> DBusMenu::properties(int id, const QStringList &names) const
{
    if (id == 0)
        return filtered(rootProperties(), names);
    if (const MenuEntry *entry = find(id))
        return filtered(propertiesOf(*entry), names);
    return std::nullopt;
}

DBusMenuLayoutItem DBusMenu::layout(int parentId, int depth, const QStringList &names, bool *found) const
{
    DBusMenuLayoutItem item;
    const std::optional<QVariantMap> props = properties(parentId, names);
    *found = props.has_value();
    if (!props)
        return item;
    item.id = parentId;
    item.properties = *props;
    // The menu is flat: only the root has children. A depth of 0 asks for the
    // item alone, -1 for everything.
    if (parentId == 0 && depth != 0) {
        for (const MenuEntry &entry : m_entries)
            item.children.append({entry.id, filtered(propertiesOf(entry), names), {}});
    }
    return item;
}

bool DBusMenu::handleEvent(int id, const QString &eventId)
{
    const MenuEntry *entry = find(id);
    if (id != 0 && !entry)
        return false;
    if (entry && eventId == u"clicked"_s && entry->enabled && !entry->separator) {
        const int chosen = entry->id;
        // Leave the D-Bus call first: a handler may quit or open windows.
        QMetaObject::invokeMethod(
            this, [this, chosen] { Q_EMIT activated(chosen); }, Qt::QueuedConnection);
    }
    return true;
}

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenu *menu) : QDBusAbstractAdaptor(menu), m_menu(menu)
{
    connect(menu, &DBusMenu::layoutUpdated, this, &DBusMenuAdaptor::LayoutUpdated);
    connect(menu, &DBusMenu::itemsPropertiesUpdated, this, &DBusMenuAdaptor::ItemsPropertiesUpdated);
}

QString DBusMenuAdaptor::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? u"rtl"_s : u"ltr"_s;
}

QStringList DBusMenuAdaptor::iconThemePath() const
{
    const QString path = m_menu->iconThemePath();
    return path.isEmpty() ? QStringList() : QStringList {path};
}

void DBusMenuAdaptor::replyUnknownItem(const QDBusMessage &message, int id)
{
    message.setDelayedReply(true);
    m_menu->bus().send(message.createErrorReply(QDBusError::InvalidArgs, u"No menu item with id %1."_s.arg(id)));
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
    const QDBusMessage &message, DBusMenuLayoutItem &layout)
{
    bool found = false;
    layout = m_menu->layout(parentId, recursionDepth, propertyNames, &found);
    if (!found)
        replyUnknownItem(message, parentId);
    return m_menu->revision();
}

DBusMenuItemPropertiesList DBusMenuAdaptor::GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames)
{
    DBusMenuItemPropertiesList result;
    for (int id : ids) {
        if (const std::optional<QVariantMap> props = m_menu->properties(id, propertyNames))
            result.append({id, *props});
    }
    return result;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString &name, const QDBusMessage &message)
{
    const std::optional<QVariantMap> props = m_menu->properties(id, {name});
    if (!props || !props->contains(name)) {
        replyUnknownItem(message, id);
        return QDBusVariant(QVariant(0));
    }
    return QDBusVariant(props->value(name));
}

void DBusMenuAdaptor::Event(int id, const QString &eventId, const QDBusVariant &, uint, const QDBusMessage &message)
{
    if (!m_menu->handleEvent(id, eventId))
        replyUnknownItem(message, id);
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEventList &events, const QDBusMessage &message)
{
    QList<int> errors;
    for (const DBusMenuEvent &event : events) {
        if (!m_menu->handleEvent(event.id, event.eventId))
            errors.append(event.id);
    }
    // Only when none of the items was found is it an error.
    if (!events.isEmpty() && errors.size() == events.size())
        replyUnknownItem(message, errors.first());
    return errors;
}

bool DBusMenuAdaptor::AboutToShow(int)
{
    // Items are kept current all the time; nothing to update before showing.
    return false;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    idErrors.clear();
    for (int id : ids) {
        if (!m_menu->properties(id, {}))
            idErrors.append(id);
    }
    return {};
}
