#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class Store;

// The menu-bar line as status bars read it: the plain title, or one line of
// JSON {"text", "tooltip", "class"} in the shape waybar (and others) expect.
struct StatusLine {
    QString title;
    bool connected = false;
    bool restoring = false;
    bool loading = false;
    std::optional<QString> error;
    std::optional<QDateTime> updatedAt;
    QStringList lines;

    static StatusLine of(const Store &store);

    // "error", "loading", "disconnected" or "ok".
    QString cssClass() const;
    // The first line, the error message and the update time, where present,
    // one per line.
    QString tooltip() const;
    // One line of compact JSON, without a line break.
    QByteArray json() const;
    // The title on one line: line breaks a server text might hold become spaces.
    QString plain() const { return oneLine(title); }
    static QString oneLine(QString text)
    {
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        for (QChar &c : text) {
            if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                c = u' ';
        }
        return text;
    }

    bool operator==(const StatusLine &) const = default;
};
