#pragma once

#include "statusline.h"

#include <QCoro/QCoroTask>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QRect>
#include <QVariantMap>

#include <vector>

class PanelContent;
class Store;

// The running instance on the session bus: it owns the well-known name, takes
// URLs and actions from later launches (org.freedesktop.Application) and
// publishes the menu-bar line and the panel interface
// (com.velmorcraft.quillmere.MenuBar, described in docs/panel-interface.md).
class MenuBarInstance : public QObject {
    Q_OBJECT
public:
    explicit MenuBarInstance(QDBusConnection bus, QObject *parent = nullptr);
    ~MenuBarInstance() override;

    // Exports the object and asks for the well-known name. False when another
    // instance owns the name already (or there is no bus); the object is then
    // withdrawn again.
    bool claim();
    // Starts serving the store: follows its changes and routes calls to it.
    void attach(Store *store);

    const StatusLine &line() const { return m_line; }
    // What panels show; exists once a store is attached.
    PanelContent *panel() const { return m_panel; }

    // Called by the adaptors. Each may answer later: the reply is sent when
    // the work is done, so the caller can tell when its command has finished.
    void open(const QList<QUrl> &urls, const QDBusMessage &message);
    void activate();
    void activateAction(const QString &name, const QVariantList &parameter, const QDBusMessage &message);
    void togglePopover(const QRect &button, const QString &edge, const QDBusMessage &message);

    // Whether a window side serves popoverRequested and settingsRequested;
    // without one, those requests are answered with an error.
    void setHasWindows(bool hasWindows) { m_hasWindows = hasWindows; }

Q_SIGNALS:
    void lineChanged(const QString &title, const QString &status);
    // Activate, or the "open" action: show the popover.
    void popoverRequested();
    // The "settings" action: open or raise the settings window.
    void settingsRequested();
    // TogglePopover from a panel integration: button in global logical
    // pixels, edge one of "top", "bottom", "left", "right".
    void popoverToggleRequested(const QRect &button, const QString &edge);

private Q_SLOTS:
    void busDisconnected();

private:
    void storeChanged();
    QCoro::Task<> finishOpen(std::vector<QCoro::Task<>> tasks, QDBusMessage message);
    QCoro::Task<> finishAction(QCoro::Task<> task, QDBusMessage message);

    QDBusConnection m_bus;
    Store *m_store = nullptr;
    PanelContent *m_panel = nullptr;
    StatusLine m_line;
    // The panel properties as last announced.
    QString m_toolTip;
    bool m_iconShown = true;
    bool m_registered = false;
    bool m_hasWindows = false;
};

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(MenuBarInstance *instance);

public Q_SLOTS:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData, const QDBusMessage &message);
    void ActivateAction(const QString &actionName, const QVariantList &parameter, const QVariantMap &platformData,
        const QDBusMessage &message);

private:
    MenuBarInstance *m_instance;
};

class MenuBarAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.velmorcraft.quillmere.MenuBar")
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(bool Restoring READ restoring)
    Q_PROPERTY(QString Error READ error)
    Q_PROPERTY(QString ToolTip READ toolTip)
    Q_PROPERTY(bool IconShown READ iconShown)
public:
    explicit MenuBarAdaptor(MenuBarInstance *instance);

    QString title() const;
    QString status() const;
    bool restoring() const;
    QString error() const; // empty when all is well
    QString toolTip() const;
    bool iconShown() const;

public Q_SLOTS:
    void TogglePopover(int x, int y, int width, int height, const QString &edge, const QDBusMessage &message);

Q_SIGNALS:
    // The title and the JSON status line after a change of either.
    void LineChanged(const QString &title, const QString &status);

private:
    MenuBarInstance *m_instance;
};
