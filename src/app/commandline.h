#pragma once

#include <QList>
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
        Help,
        Version,
    };

    Kind kind = Kind::Run;
    QList<QUrl> urls;
    QString link;
    bool passwordFromStdin = false;
    bool json = false;
    std::optional<QUrl> server;

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
