#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// What one launch of quillmere-menubar was asked to do.
struct Command {
    enum class Kind {
        Run, // no command: be the running instance (or wake the one that runs)
        Open, // hand URLs to the running instance
        SignIn,
        Connect,
        Disconnect,
        Refresh,
        Quit,
        Settings, // open the settings window
        Line, // print the line once
        Follow, // print the JSON line at every change
        Next, // wait for the panel's line to change, print it once
        PopoverAt, // open or close the popover next to a panel button
        AddToPanel, // put the Plasma panel widget next to the system tray
        Help,
        Version,
    };

    Kind kind = Kind::Run;
    QList<QUrl> urls;
    QString link;
    bool passwordFromStdin = false;
    bool json = false;
    std::optional<QUrl> server;
    // With Next: the state the caller shows (from the "state" of the line it
    // printed before); the line is printed as soon as it is another.
    QString since;
    // With PopoverAt: the button in global logical pixels and the screen
    // edge of its panel ("top", "bottom", "left" or "right").
    QRect anchor;
    QString edge;

    // Exit code of Next when no instance runs (the printed line says so).
    static constexpr int notRunningExitCode = 3;

    // Whether this command needs a running instance (and starts one if none runs).
    bool needsInstance() const;

    struct Parsed;
    // Parses argv (the program name first). On a usage error, error is set.
    static Parsed parse(const QStringList &arguments);
    static QString helpText();
};

struct Command::Parsed {
    Command command;
    QString error; // empty when the arguments made sense
};
