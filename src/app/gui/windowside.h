#pragma once

#include <QObject>

#include <chrono>

class MenuBarInstance;
class StatusItem;
class Store;
class ViewHost;

// Everything the running instance shows: the status item in the panel and
// the windows it opens, wired to the instance's requests and the views'.
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

private:
    ViewHost *m_views;
    StatusItem *m_statusItem;
};
