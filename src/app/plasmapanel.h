#pragma once

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QString>

// The Plasma panel widget as the program sees it: whether it is installed,
// whether a panel holds it, and putting it next to the system tray through
// Plasma's scripting interface.
namespace plasmapanel {

inline const QString widgetId = QStringLiteral("com.velmorcraft.quillmere.menubar");
inline const QString shellService = QStringLiteral("org.kde.plasmashell");

// Plasma's layout of panels and widgets, in the user's config folder.
QString appletsConfigPath();
// Whether the layout (the text of that file) has our widget in a panel.
bool inPanel(const QString &appletsConfig);
// Whether the widget's package is installed where Plasma looks for it.
bool installed();
// The script that adds the widget: next to the system tray of the first
// panel that has one (else at the end of the first panel), unless a panel
// holds it already. It prints "added", "present" or "no-panel".
QString addScript();

// Whether to offer adding the widget: plasmashell runs, the widget is
// installed and no panel holds it.
QCoro::Task<bool> shouldOffer(QDBusConnection bus);

enum class AddResult { Added, Present, NoPanel, NoPlasma, NotInstalled, Failed };
// Adds the widget to a panel of the running plasmashell; error receives
// Plasma's message when it fails.
QCoro::Task<AddResult> add(QDBusConnection bus, QString *error = nullptr);
// A sentence for the user about a result.
QString describe(AddResult result);

} // namespace plasmapanel
