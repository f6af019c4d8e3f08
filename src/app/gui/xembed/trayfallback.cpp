#include "trayfallback.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

TrayFallback::TrayFallback(QObject *parent) : QObject(parent), m_tray(new QSystemTrayIcon(this)), m_menu(new QMenu)
{
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::MiddleClick) {
            Q_EMIT middleClicked();
            return;
        }
        if (reason != QSystemTrayIcon::Trigger)
            return;
        // Hosts give the click in device pixels; Qt gives logical ones.
        const QPoint logical = QCursor::pos();
        const QScreen *screen = QGuiApplication::screenAt(logical);
        const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
        Q_EMIT clicked((QPointF(logical) * ratio).toPoint());
    });
}

TrayFallback::~TrayFallback()
{
    m_tray->hide();
    delete m_menu;
}

bool TrayFallback::available()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayFallback::setIcon(const QIcon &icon)
{
    m_tray->setIcon(icon);
}

void TrayFallback::setToolTip(const QString &text)
{
    m_tray->setToolTip(text);
}

void TrayFallback::setEntries(const QList<MenuEntry> &entries)
{
    m_menu->clear();
    m_actions.clear();
    for (const MenuEntry &entry : entries) {
        if (entry.separator) {
            m_menu->addSeparator();
            continue;
        }
        QAction *action = m_menu->addAction(entry.label);
        action->setEnabled(entry.enabled);
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { Q_EMIT entryActivated(id); });
        m_actions.append({id, action});
    }
}

void TrayFallback::setEnabled(int id, bool enabled)
{
    for (const auto &[entryId, action] : m_actions) {
        if (entryId == id)
            action->setEnabled(enabled);
    }
}

void TrayFallback::show()
{
    m_tray->show();
}
