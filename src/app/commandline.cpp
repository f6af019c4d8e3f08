#include "commandline.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption signIn {u"sign-in"_s, u"Open the sign-in page in the browser."_s};
    QCommandLineOption connect {u"connect"_s, u"Connect a dashboard embed link."_s, u"link"_s};
    QCommandLineOption passwordStdin {
        u"password-stdin"_s, u"Read the embed link's password from standard input (with --connect)."_s};
    QCommandLineOption disconnect {u"disconnect"_s, u"Sign out, or forget the embed link."_s};
    QCommandLineOption refresh {u"refresh"_s, u"Refresh the figures now."_s};
    QCommandLineOption quit {u"quit"_s, u"Stop the running instance."_s};
    QCommandLineOption settings {u"settings"_s, u"Open the settings window."_s};
    QCommandLineOption line {u"line"_s, u"Print the menu-bar line and exit."_s};
    QCommandLineOption json {u"json"_s, u"With --line: print one line of JSON for status bars."_s};
    QCommandLineOption follow {u"follow"_s, u"With --line --json: print a new line at every change."_s};
    QCommandLineOption next {u"next"_s,
        u"With --line --json: wait until the panel's line changes, print it and exit (exit code 3: no instance runs)."_s};
    QCommandLineOption since {u"since"_s,
        u"With --next: the state the caller shows; a line in another state is printed at once."_s, u"state"_s};
    QCommandLineOption popoverAt {u"popover-at"_s,
        u"Open or close the popover next to a panel button: its rectangle in global logical pixels and the screen "
        u"edge of its panel (top, bottom, left, right)."_s,
        u"x,y,width,height,edge"_s};
    QCommandLineOption addToPanel {u"add-to-panel"_s, u"Put the Plasma panel widget next to the system tray."_s};
    QCommandLineOption server {
        u"server"_s, u"Use this server for the lifetime of the instance (not saved)."_s, u"url"_s};
    QCommandLineOption help {{u"h"_s, u"help"_s}, u"Show this help."_s};
    QCommandLineOption version {{u"v"_s, u"version"_s}, u"Show the version."_s};

    Parser()
    {
        parser.setApplicationDescription(u"Advertising figures in the panel."_s);
        parser.addOptions({signIn, connect, passwordStdin, disconnect, refresh, quit, settings, line, json, follow,
            next, since, popoverAt, addToPanel, server, help, version});
        parser.addPositionalArgument(
            u"url"_s, u"Addresses to hand to the running instance (sign-in callbacks)."_s, u"[url...]"_s);
    }
};

// "X,Y,WIDTH,HEIGHT,EDGE" of --popover-at; false when it is not that.
bool parseAnchor(const QString &value, QRect &anchor, QString &edge)
{
    const QStringList parts = value.split(u',');
    if (parts.size() != 5)
        return false;
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    edge = parts.at(4).trimmed();
    static const QStringList edges {u"top"_s, u"bottom"_s, u"left"_s, u"right"_s};
    if (numbers[2] <= 0 || numbers[3] <= 0 || !edges.contains(edge))
        return false;
    anchor = QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
    return true;
}

} // namespace

bool Command::needsInstance() const
{
    switch (kind) {
    case Kind::Open:
    case Kind::SignIn:
    case Kind::Connect:
    case Kind::Disconnect:
    case Kind::Refresh:
    case Kind::Settings:
    case Kind::Follow:
    case Kind::PopoverAt:
        return true;
    default:
        return false;
    }
}

QString Command::helpText()
{
    Parser p;
    return p.parser.helpText();
}

Command::Parsed Command::parse(const QStringList &arguments)
{
    Parser p;
    Parsed result;
    Command &command = result.command;
    if (!p.parser.parse(arguments)) {
        result.error = p.parser.errorText();
        return result;
    }
    if (p.parser.isSet(p.help)) {
        command.kind = Kind::Help;
        return result;
    }
    if (p.parser.isSet(p.version)) {
        command.kind = Kind::Version;
        return result;
    }

    if (p.parser.isSet(p.server)) {
        const QUrl server(p.parser.value(p.server), QUrl::StrictMode);
        const QString scheme = server.scheme();
        if (!server.isValid() || server.host().isEmpty() || (scheme != u"https"_s && scheme != u"http"_s)) {
            result.error = u"--server needs an http or https address, such as https://example.com"_s;
            return result;
        }
        command.server = server;
    }

    // Exactly one command at most.
    QList<Kind> kinds;
    if (p.parser.isSet(p.signIn))
        kinds << Kind::SignIn;
    if (p.parser.isSet(p.connect))
        kinds << Kind::Connect;
    if (p.parser.isSet(p.disconnect))
        kinds << Kind::Disconnect;
    if (p.parser.isSet(p.refresh))
        kinds << Kind::Refresh;
    if (p.parser.isSet(p.quit))
        kinds << Kind::Quit;
    if (p.parser.isSet(p.settings))
        kinds << Kind::Settings;
    if (p.parser.isSet(p.line))
        kinds << Kind::Line;
    if (p.parser.isSet(p.popoverAt))
        kinds << Kind::PopoverAt;
    if (p.parser.isSet(p.addToPanel))
        kinds << Kind::AddToPanel;
    const QStringList positional = p.parser.positionalArguments();
    if (!positional.isEmpty())
        kinds << Kind::Open;
    if (kinds.size() > 1) {
        result.error = u"Give one command at a time."_s;
        return result;
    }
    if (!kinds.isEmpty())
        command.kind = kinds.first();

    command.json = p.parser.isSet(p.json);
    if (command.json && command.kind != Kind::Line) {
        result.error = u"--json goes with --line."_s;
        return result;
    }
    if (p.parser.isSet(p.follow)) {
        if (command.kind != Kind::Line || !command.json) {
            result.error = u"--follow goes with --line --json."_s;
            return result;
        }
        command.kind = Kind::Follow;
    }
    if (p.parser.isSet(p.next)) {
        if (command.kind != Kind::Line || !command.json) {
            result.error = u"--next goes with --line --json (and not with --follow)."_s;
            return result;
        }
        command.kind = Kind::Next;
    }
    if (p.parser.isSet(p.since)) {
        if (command.kind != Kind::Next) {
            result.error = u"--since goes with --next."_s;
            return result;
        }
        command.since = p.parser.value(p.since);
    }
    if (command.kind == Kind::PopoverAt && !parseAnchor(p.parser.value(p.popoverAt), command.anchor, command.edge)) {
        result.error = u"--popover-at needs x,y,width,height,edge with a positive size and an edge of top, bottom, "
                       u"left or right."_s;
        return result;
    }
    command.passwordFromStdin = p.parser.isSet(p.passwordStdin);
    if (command.passwordFromStdin && command.kind != Kind::Connect) {
        result.error = u"--password-stdin goes with --connect."_s;
        return result;
    }
    if (command.kind == Kind::Connect)
        command.link = p.parser.value(p.connect);

    for (const QString &argument : positional) {
        const QUrl url(argument, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) {
            result.error = u"Not an address: %1"_s.arg(argument);
            return result;
        }
        command.urls << url;
    }
    return result;
}
