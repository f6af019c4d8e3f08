#pragma once

#include <QObject>

class MenuBarInstance;
class PanelSwitch;
class StatusItem;
class Store;
class ViewHost;

// Everything the running instance shows: its ways into the desktop panel
// and the windows they open, wired to the instance's requests and the
// views'.
class WindowSide : public QObject {
    Q_OBJECT
public:
    WindowSide(MenuBarInstance &instance, Store &store, QObject *parent = nullptr);
    ~WindowSide() override;

    ViewHost *views() const { return m_views; }
    StatusItem *statusItem() const { return m_statusItem; }
    PanelSwitch *panelSwitch() const { return m_switch; }

private:
    ViewHost *m_views;
    StatusItem *m_statusItem;
    PanelSwitch *m_switch;
};
