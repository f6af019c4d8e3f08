#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

#include "menuentry.h"

// Wire types of com.canonical.dbusmenu.
struct DBusMenuLayoutItem { // (ia{sv}av)
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children; // each sent as a variant
};
struct DBusMenuItemProperties { // (ia{sv})
    int id = 0;
    QVariantMap properties;
};
struct DBusMenuItemPropertyNames { // (ias)
    int id = 0;
    QStringList names;
};
struct DBusMenuEvent { // (isvu)
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;
using DBusMenuItemPropertyNamesList = QList<DBusMenuItemPropertyNames>;
using DBusMenuEventList = QList<DBusMenuEvent>;

Q_DECLARE_METATYPE(DBusMenuLayoutItem)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(DBusMenuEvent)

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemPropertyNames &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemPropertyNames &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event);

// Registers the types above with QtDBus (once; safe to call again).
void registerDBusMenuTypes();

// A flat menu exported as com.canonical.dbusmenu (version 3), which panel
// hosts read and draw themselves. Items are the entries given; a "clicked"
// event on an enabled item emits activated(id).
class DBusMenu : public QObject {
    Q_OBJECT
public:
    static inline const QString interfaceName = QStringLiteral("com.canonical.dbusmenu");

    explicit DBusMenu(QObject *parent = nullptr);
    ~DBusMenu() override;

    // Exports the menu at path on bus. False when the path is taken.
    bool exportOn(QDBusConnection bus, const QString &path);
    void withdraw();
    QString path() const { return m_path; }
    QDBusConnection bus() const { return m_bus; }

    QList<MenuEntry> entries() const { return m_entries; }
    void setEntries(const QList<MenuEntry> &entries); // announces a new layout
    void setEnabled(int id, bool enabled); // announces the changed property
    void setIconThemePath(const QString &path) { m_iconThemePath = path; }
    QString iconThemePath() const { return m_iconThemePath; }
    uint revision() const { return m_revision; }

    // The protocol's operations, called by the adaptor.
    DBusMenuLayoutItem layout(int parentId, int depth, const QStringList &names, bool *found) const;
    std::optional<QVariantMap> properties(int id, const QStringList &names) const;
    // True when id names an item; activated() follows for "clicked" on an enabled one.
    bool handleEvent(int id, const QString &eventId);

Q_SIGNALS:
    void activated(int id);
    void layoutUpdated(uint revision, int parent);
    void itemsPropertiesUpdated(
        const DBusMenuItemPropertiesList &updated, const DBusMenuItemPropertyNamesList &removed);

private:
    const MenuEntry *find(int id) const;
    QVariantMap rootProperties() const;
    static QVariantMap propertiesOf(const MenuEntry &entry);
    static QVariantMap filtered(const QVariantMap &properties, const QStringList &names);

    QList<MenuEntry> m_entries;
    QString m_iconThemePath;
    uint m_revision = 1;
    QDBusConnection m_bus {QString()};
    QString m_path;
};

class DBusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit DBusMenuAdaptor(DBusMenu *menu);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const;

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, const QDBusMessage &message,
        DBusMenuLayoutItem &layout);
    DBusMenuItemPropertiesList GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name, const QDBusMessage &message);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp, const QDBusMessage &message);
    QList<int> EventGroup(const DBusMenuEventList &events, const QDBusMessage &message);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    void ItemsPropertiesUpdated(
        const DBusMenuItemPropertiesList &updatedProps, const DBusMenuItemPropertyNamesList &removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    void replyUnknownItem(const QDBusMessage &message, int id);

    DBusMenu *m_menu;
};
