#pragma once

#include "menuentry.h"

#include <QList>
#include <QObject>
#include <QString>

class Store;

// What any panel shows of the program, worked out in one place from the
// Store: the label (the line on one line), whether the chart icon shows, the
// tooltip and the item's menu. Every way into a panel (the status item, the
// XApp icon, the D-Bus panel interface) reads it and follows its signals,
// which come only on real changes.
class PanelContent : public QObject {
    Q_OBJECT
public:
    // Menu entry ids.
    enum ItemId { OpenItem = 1, RefreshItem, SettingsItem, SeparatorItem, QuitItem };

    explicit PanelContent(Store *store, QObject *parent = nullptr);

    // The line as the panel shows it: the title, its line breaks turned into
    // spaces; empty while restoring.
    QString label() const { return m_label; }
    // The icon shows when the user wants it, and always while there is no
    // text (so the item never disappears).
    bool iconShown() const { return m_iconShown; }
    // The line, the update time and the error, one per line, where present.
    QString toolTip() const { return m_toolTip; }
    // Refresh makes sense while connected and not already refreshing.
    bool refreshEnabled() const { return m_refreshEnabled; }
    // The menu as it should be shown now.
    QList<MenuEntry> menuEntries() const;

    // Runs a menu entry.
    void activate(int id);
    // A refresh asked for from the panel (a middle click, "Refresh").
    void refresh();

Q_SIGNALS:
    void labelChanged();
    void iconShownChanged();
    void toolTipChanged();
    void refreshEnabledChanged();
    // Menu entries the window side carries out.
    void openRequested();
    void settingsRequested();
    void quitRequested();

private:
    void update();

    Store *m_store;
    QString m_label;
    bool m_iconShown = true;
    QString m_toolTip;
    bool m_refreshEnabled = false;
};
