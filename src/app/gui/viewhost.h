#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>

#include "menuentry.h"
#include "placement.h"

#include <chrono>
#include <memory>
#include <optional>

class AppContext;
class CompositorPlacement;
class QQmlEngine;
class QScreen;
class Store;

// The windows of the running instance: the popover and the settings window.
// Both, and the QML engine behind them, are built on first use. Once the
// popover has been closed for releaseDelay with the settings window closed
// too, all of it is released again and the memory handed back to the
// system; the next opening builds it anew.
class ViewHost : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultReleaseDelay = std::chrono::minutes(10);
    // How long the views must stay unchanged while shown before their
    // garbage is collected.
    static constexpr std::chrono::milliseconds settleDelay = std::chrono::seconds(1);
    // An Activate this soon after the popover closed on losing activation is
    // the click that closed it (the panel took activation first).
    static constexpr std::chrono::milliseconds closingClickWindow = std::chrono::milliseconds(400);

    explicit ViewHost(Store *store, QObject *parent = nullptr);
    ~ViewHost() override;

    AppContext *context() const { return m_context.get(); }

    // A click on the status item at point (device pixels, as hosts send it;
    // (0, 0) when the host gave none): opens the popover there, or closes it
    // when it is open.
    void activateAt(QPoint devicePoint);
    // Opens the popover next to point (logical pixels), or near the top-right
    // corner without one. Raises it when open.
    void openPopover(std::optional<QPoint> point = std::nullopt);
    // A click on a panel button at anchor (logical pixels) in a panel on
    // edge: opens the popover just outside the button, or closes it when it
    // is open.
    void togglePopoverAt(QRect anchor, placement::Edge edge);
    void closePopover();
    bool popoverVisible() const;
    void showSettingsWindow();
    // An activation token the panel obtained for the click that is about to
    // open a window: on Wayland the compositor gives that window focus only
    // with it. It serves the next window shown within tokenLifetime.
    void setActivationToken(const QString &token);
    static constexpr std::chrono::milliseconds tokenLifetime = std::chrono::seconds(10);

    // Our menu of entries for a panel button at anchor (logical pixels) in
    // a panel on edge, just outside the button; closes it when it is open.
    // It hides on a pick (menuChosen follows), Escape or a click elsewhere.
    void toggleMenuAt(QRect anchor, placement::Edge edge, const QList<MenuEntry> &entries);
    void closeMenu();
    bool menuVisible() const;
    QQuickWindow *menu() const { return m_menu; }

    QQuickWindow *popover() const { return m_popover; }
    QQuickWindow *settingsWindow() const { return m_settings; }
    bool engineLoaded() const { return m_engine != nullptr; }

    void setReleaseDelay(std::chrono::milliseconds delay);

    // Loads the views' types once and lets them go again, as a release does:
    // the first opening then finds the libraries loaded and the types known
    // instead of doing that on its way to the first frame, and the memory it
    // took is handed back. Does nothing while an engine exists.
    void prepare();

Q_SIGNALS:
    void popoverOpened();
    void popoverClosed();
    void released();
    void menuChosen(int id);
    void menuVisibleChanged(bool visible);

private Q_SLOTS:
    void dismiss() { closePopover(); }
    void dismissMenu() { closeMenu(); }

private:
    QQmlEngine &engine();
    QQuickWindow *createWindow(const QString &file);
    QQuickWindow *ensurePopover();
    QQuickWindow *ensureSettingsWindow();
    QQuickWindow *ensureMenu();
    void placeMenu();
    void showPopover();
    // Whether this click is the one that just closed the popover.
    bool closedByThisClick();
    void place();
    void placeThroughCompositor();
    QPoint positionOn(const QScreen *screen) const; // for the popover as it is anchored now
    void requestActivation(QWindow *window);
    void popoverActiveChanged();
    void windowsChanged();
    void release();
    void destroyWindows();
    void settle();

    Store *m_store;
    std::unique_ptr<AppContext> m_context;
    QQmlEngine *m_engine = nullptr;
    QPointer<QQuickWindow> m_popover;
    QPointer<QQuickWindow> m_settings;
    QPointer<QQuickWindow> m_menu;
    // The panel button the menu was opened from, and the panel's edge.
    std::pair<QRect, placement::Edge> m_menuButton;
    std::optional<QPoint> m_anchor; // where the popover was opened
    // The panel button it was opened from, and the panel's edge.
    std::optional<std::pair<QRect, placement::Edge>> m_button;
    QElapsedTimer m_closedOnDeactivation;
    // Wayland: the compositor's channel for moving the popover, looked for
    // once on first use.
    std::unique_ptr<CompositorPlacement> m_compositor;
    bool m_compositorLooked = false;
    // A popover growing above a bottom bar is moved once it settles, not on
    // every frame of its growth.
    QTimer m_compositorSettle;
    QString m_activationToken;
    QElapsedTimer m_tokenAge;
    QTimer m_releaseTimer;
    // Runs settle() a moment after the views last changed while shown.
    QTimer m_settleTimer;
};
