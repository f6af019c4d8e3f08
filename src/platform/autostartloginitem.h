#pragma once

#include "platform/services.h"

#include <QString>

// Launch at login as an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/quillmere-menubar.desktop). The registration is
// on when the entry exists and is neither hidden (Hidden=true) nor switched
// off (X-GNOME-Autostart-enabled=false); switching it on writes the entry
// atomically, switching it off removes it.
class AutostartLoginItem : public LoginItem {
public:
    // An empty file means paths::autostartFile(); an empty command means this
    // executable as commandFor() names it (or "quillmere-menubar" when that
    // is unknown).
    explicit AutostartLoginItem(const QString &file = QString(), const QString &command = QString());

    QString fileName() const { return m_file; }

    bool enabled() const override;
    std::optional<QString> setEnabled(bool enabled) override;

    // The entry written on registration.
    QByteArray entry() const;
    // Whether the text of a desktop entry leaves it active at login.
    static bool entryEnables(const QByteArray &contents);
    // The command that starts program: its bare name when onPath (what PATH
    // finds under the program's name) is the same file, else its path.
    static QString commandFor(const QString &program, const QString &onPath);
    // A program path quoted for the Exec key.
    static QString quoteExec(const QString &program);

private:
    QString m_file;
    QString m_command;
};
