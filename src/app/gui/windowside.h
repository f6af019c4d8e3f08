#pragma once

#include <QObject>

#include <chrono>

class MenuBarInstance;
class PanelSwitch;
class StatusItem;
class Store;
class ViewHost;
class XAppStatusIcon;

// Everything the running instance shows: its ways into the desktop panel
// and the windows they open, wired to the instance's requests and the
// views'.
class WindowSide : public QObject {
    Q_OBJECT
public:
    // How long after starting the views' types are loaded ahead of the
    // first opening (see ViewHost::prepare).
    static constexpr std::chrono::milliseconds prepareDelay = std::chrono::seconds(1);

    WindowSide(MenuBarInstance &instance, Store &store, QObject *parent = nullptr);
    ~WindowSide() override;

    ViewHost *views() const { return m_views; }
    StatusItem *statusItem() const { return m_statusItem; }
    PanelSwitch *panelSwitch() const { return m_switch; }
    XAppStatusIcon *xappIcon() const { return m_xapp; }

private:
    ViewHost *m_views;
    StatusItem *m_statusItem;
    PanelSwitch *m_switch;
    XAppStatusIcon *m_xapp;
};
