#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>

#include "placement.h"

#include <chrono>
#include <memory>
#include <optional>

class AppContext;
class QQmlEngine;
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

    QQuickWindow *popover() const { return m_popover; }
    QQuickWindow *settingsWindow() const { return m_settings; }
    bool engineLoaded() const { return m_engine != nullptr; }

    void setReleaseDelay(std::chrono::milliseconds delay);

Q_SIGNALS:
    void popoverOpened();
    void popoverClosed();
    void released();

private Q_SLOTS:
    void dismiss() { closePopover(); }

private:
    QQmlEngine &engine();
    QQuickWindow *createWindow(const QString &file);
    QQuickWindow *ensurePopover();
    QQuickWindow *ensureSettingsWindow();
    void showPopover();
    // Whether this click is the one that just closed the popover.
    bool closedByThisClick();
    void place();
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
    std::optional<QPoint> m_anchor; // where the popover was opened
    // The panel button it was opened from, and the panel's edge.
    std::optional<std::pair<QRect, placement::Edge>> m_button;
    QElapsedTimer m_closedOnDeactivation;
    QTimer m_releaseTimer;
    // Runs settle() a moment after the views last changed while shown.
    QTimer m_settleTimer;
};
