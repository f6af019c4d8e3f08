#include "panelcontent.h"

#include "state/store.h"
#include "statusline.h"

#include <QLocale>

#include <utility>

using namespace Qt::StringLiterals;

PanelContent::PanelContent(Store *store, QObject *parent) : QObject(parent), m_store(store)
{
    update();
    connect(m_store, &Store::changed, this, &PanelContent::update);
}

void PanelContent::update()
{
    const QString label = StatusLine::oneLine(m_store->title());
    const bool iconShown = m_store->showIcon() || label.isEmpty();

    QStringList parts;
    if (!label.isEmpty())
        parts << label;
    if (const std::optional<QDateTime> &at = m_store->updatedAt(); at && at->isValid())
        parts << u"Updated "_s + QLocale::system().toString(at->toLocalTime().time(), QLocale::ShortFormat);
    if (const std::optional<QString> &error = m_store->error())
        parts << *error;
    const QString toolTip = parts.join(u'\n');
    const bool refreshEnabled = m_store->connected() && !m_store->loading();

    // Everything is settled before the first signal goes out, so a listener
    // of one field reads the others as they now are.
    const bool labelMoved = std::exchange(m_label, label) != label;
    const bool iconMoved = std::exchange(m_iconShown, iconShown) != iconShown;
    const bool toolTipMoved = std::exchange(m_toolTip, toolTip) != toolTip;
    const bool refreshMoved = std::exchange(m_refreshEnabled, refreshEnabled) != refreshEnabled;
    if (iconMoved)
        Q_EMIT iconShownChanged();
    if (labelMoved)
        Q_EMIT labelChanged();
    if (toolTipMoved)
        Q_EMIT toolTipChanged();
    if (refreshMoved)
        Q_EMIT refreshEnabledChanged();
}

QList<MenuEntry> PanelContent::menuEntries() const
{
    return {
        {OpenItem, u"Open Quillmere"_s},
        {RefreshItem, u"Refresh"_s, m_refreshEnabled},
        {SettingsItem, u"Settings…"_s},
        {SeparatorItem, QString(), true, true},
        {QuitItem, u"Quit"_s},
    };
}

void PanelContent::activate(int id)
{
    switch (id) {
    case OpenItem:
        Q_EMIT openRequested();
        break;
    case RefreshItem:
        refresh();
        break;
    case SettingsItem:
        Q_EMIT settingsRequested();
        break;
    case QuitItem:
        Q_EMIT quitRequested();
        break;
    default:
        break;
    }
}

void PanelContent::refresh()
{
    m_store->startRefresh();
}
