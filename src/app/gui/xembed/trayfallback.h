#pragma once

#include "traybackend.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The status item for X11 panels that only have an XEmbed system tray: a
// QSystemTrayIcon with the icon, the line as tooltip and a QMenu of the same
// entries as the exported menu. Needs a QApplication.
class TrayFallback : public QObject, public TrayBackend {
    Q_OBJECT
public:
    explicit TrayFallback(QObject *parent = nullptr);
    ~TrayFallback() override;

    // A QApplication runs and the display has a tray to dock in.
    static bool available();

    void setIcon(const QIcon &icon) override;
    void setToolTip(const QString &text) override;
    void setEntries(const QList<MenuEntry> &entries) override;
    void setEnabled(int id, bool enabled) override;
    void show() override;

    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *menu() const { return m_menu; }

Q_SIGNALS:
    void entryActivated(int id);
    void clicked(QPoint point); // device pixels, like a status-item host's
    void middleClicked();

private:
    QSystemTrayIcon *m_tray;
    QMenu *m_menu;
    QList<QPair<int, QAction *>> m_actions;
};
