#pragma once

// The program in a real desktop, seen from outside: the development server
// and the running instance in the desktop's session (tests/desktops/run.sh
// starts the desktop), and what a person would see and do there: screenshots
// of the screen, the text on them, clicks of the pointer, the windows'
// places. Each tests/desktops/tst_NAME.cpp runs with tests/desktops/NAME.sh's
// desktop.

#include "../e2e/e2erig.h"
#include "app/dbusnames.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <optional>

namespace desktops {

using namespace Qt::StringLiterals;

// Runs a helper program to its end and returns what it printed (empty when
// it failed).
inline QByteArray output(
    const QString &program, const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 20'000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        return {};
    }
    return process.readAllStandardOutput();
}

// Edit distance, for comparing recognised text with what should be there.
inline int distance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Text as recognised and text as meant, made comparable: no blanks, and the
// letters text recognition takes for digits (and back) folded together.
inline QString folded(QString text)
{
    text.remove(u' ');
    for (QChar &c : text) {
        switch (c.unicode()) {
        case 'O':
        case 'o':
            c = u'0';
            break;
        case 'l':
        case 'I':
        case '|':
            c = u'1';
            break;
        case 'S':
            c = u'5';
            break;
        case 0x2013: // en dash
        case 0x2014: // em dash
            c = u'-';
            break;
        default:
            break;
        }
    }
    return text;
}

// Whether recognised holds wanted on one of its lines, allowing one wrong
// character in eight.
inline bool recognisedHolds(const QString &recognised, const QString &wanted)
{
    const QString target = folded(wanted);
    const int allowed = std::max(1, int(target.size()) / 8);
    for (const QString &line : recognised.split(u'\n', Qt::SkipEmptyParts)) {
        const QString seen = folded(line);
        // The wanted text anywhere in the line: compare with each window of its length.
        for (qsizetype at = 0; at + target.size() - allowed <= seen.size(); ++at) {
            for (qsizetype len = target.size() - allowed; len <= target.size() + allowed; ++len) {
                if (at + len <= seen.size() && distance(seen.mid(at, len), target) <= allowed)
                    return true;
            }
        }
    }
    return false;
}

// A word text recognition found, and where (in the image's pixels).
struct Word {
    QString text;
    QRect box;
};

// The words in image with their places, enlarged first as ocr() does.
inline QList<Word> words(const QImage &image, int scale = 3)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"words.png"_s);
    image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(file);
    const QString tsv
        = QString::fromUtf8(output(u"tesseract"_s, {file, u"-"_s, u"--psm"_s, u"11"_s, u"tsv"_s}, {}, 60'000));
    QList<Word> found;
    for (const QString &row : tsv.split(u'\n', Qt::SkipEmptyParts).mid(1)) {
        const QStringList cells = row.split(u'\t');
        if (cells.size() < 12 || cells.at(11).trimmed().isEmpty())
            continue;
        const QRect box(cells.at(6).toInt(), cells.at(7).toInt(), cells.at(8).toInt(), cells.at(9).toInt());
        found.append({cells.at(11).trimmed(), QRect(box.topLeft() / scale, box.size() / scale)});
    }
    return found;
}

// The first word in image that starts with prefix (case-sensitive).
inline std::optional<QRect> wordBox(const QImage &image, const QString &prefix)
{
    for (const Word &word : words(image)) {
        if (word.text.startsWith(prefix))
            return word.box;
    }
    return std::nullopt;
}

// What is wrong with where a popover opened for a click at click (global
// pixels) on a screen whose area without panels is usable: empty when it
// lies inside that area, centred on the click within 24 px unless it was
// pushed inside the area (then it still spans the click's x), and just
// outside the panel the click was on (within 24 px of the panel's edge), or
// within 24 px of a click inside the area.
inline QString placementProblem(const QRect &popover, const QPoint &click, const QRect &usable)
{
    constexpr int near = 24;
    QStringList problems;
    if (!usable.contains(popover))
        problems << u"not inside the usable area"_s;
    const bool pushed = popover.left() == usable.left() || popover.right() == usable.right();
    const int offCentre = std::abs(popover.center().x() - click.x());
    if (!pushed && offCentre > near)
        problems << u"%1 px off the click's x"_s.arg(offCentre);
    if (pushed && (click.x() < popover.left() || click.x() > popover.right()))
        problems << u"does not span the click's x"_s;
    int gap = 0;
    if (click.y() < usable.top())
        gap = popover.top() - usable.top(); // below a top panel
    else if (click.y() > usable.bottom())
        gap = usable.bottom() - popover.bottom(); // above a bottom panel
    else
        gap = popover.top() >= click.y() ? popover.top() - click.y() : click.y() - popover.bottom();
    if (gap < 0 || gap > near)
        problems << u"%1 px from the panel or the click"_s.arg(gap);
    if (problems.isEmpty())
        return QString();
    return problems.join(u"; "_s)
        + u" (popover at %1,%2 %3x%4)"_s.arg(popover.x()).arg(popover.y()).arg(popover.width()).arg(popover.height());
}

// A window's place once it has stopped moving: probe (where it is now,
// nothing while it is not shown) gives the same answer for 600 ms and at
// least three times running (a popover grows once its tables have loaded,
// a moment after its first frame).
inline std::optional<QRect> settled(const std::function<std::optional<QRect>()> &probe)
{
    std::optional<QRect> last;
    int same = 0;
    QElapsedTimer still;
    const bool stopped = QTest::qWaitFor(
        [&] {
            const std::optional<QRect> now = probe();
            same = (now && now == last) ? same + 1 : 0;
            if (same == 0)
                still.start();
            last = now;
            return same >= 3 && still.elapsed() >= 600;
        },
        10'000);
    return stopped ? last : std::nullopt;
}

// A method call on the session bus, and its reply.
inline QDBusMessage callMethod(const QString &service, const QString &path, const QString &interface,
    const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// A method call to the running instance's object; sent with call() or, to
// watch the screen meanwhile, asyncCall().
inline QDBusMessage instanceCall(const QString &interface, const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(dbusnames::service, dbusnames::path, interface, method);
    message.setArguments(arguments);
    return message;
}

// A call of the instance's panel interface, as a panel integration makes it.
inline QDBusMessage callPanel(const QString &method, const QVariantList &arguments = {})
{
    return QDBusConnection::sessionBus().call(instanceCall(dbusnames::menuBarInterface, method, arguments));
}

class Rig : public e2e::Rig {
public:
    Rig()
    {
        // The desktop's own display, bus and folders: the instance runs in
        // the session as a user's would.
        const QProcessEnvironment session = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s}) {
            if (session.contains(name))
                env.insert(name, session.value(name));
            else
                env.remove(name);
        }
        home = session.value(u"HOME"_s);
    }

    // The development server, and the instance connected to its demo embed
    // link with the first line showing.
    bool startConnected()
    {
        if (!startServer() || !startInstance())
            return false;
        if (run({u"--connect"_s, url(u"embed/"_s + e2e::northwind)}).exitCode != 0)
            return false;
        return settledLine().ok();
    }

    // Moves the demo data on until the line differs, and returns the new line.
    QString advance()
    {
        const QString before = line().text;
        for (int i = 0; i < 20; ++i) {
            control(u"advance"_s, QJsonObject {{u"ticks"_s, 3}});
            run({u"--refresh"_s});
            const QString now = settledLine().text;
            if (!now.isEmpty() && now != before)
                return now;
        }
        return QString();
    }

    // --- what is on the screen (X11) -----------------------------------

    // The screen, or a part of it: straight from the X server when the test
    // itself talks to it (a tenth of the time ImageMagick takes to walk a
    // desktop's many windows), else through ImageMagick.
    static QImage grab(const QRect &area = QRect())
    {
        QImage screen;
        if (QGuiApplication::platformName() == u"xcb"_s && QGuiApplication::primaryScreen())
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        else
            screen = QImage::fromData(output(u"import"_s, {u"-window"_s, u"root"_s, u"png:-"_s}), "PNG");
        return area.isNull() ? screen : screen.copy(area);
    }

    // The text in image, as text recognition reads it, enlarged first (panel
    // text is small).
    static QString ocr(const QImage &image, int scale = 4)
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"text.png"_s);
        image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(file);
        return QString::fromUtf8(output(u"tesseract"_s, {file, u"-"_s, u"--psm"_s, u"6"_s}, {}, 60'000));
    }

    // Where in image text recognition reads the words of wanted one after the
    // other on a line (each allowed one wrong character), in image's pixels.
    static std::optional<QRect> findText(const QImage &image, const QString &wanted, int scale = 4)
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"text.png"_s);
        image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(file);
        const QString tsv
            = QString::fromUtf8(output(u"tesseract"_s, {file, u"-"_s, u"--psm"_s, u"11"_s, u"tsv"_s}, {}, 60'000));
        struct Word {
            QString text;
            QRect box;
            QString line;
        };
        QList<Word> words;
        for (const QString &row : tsv.split(u'\n')) {
            const QStringList f = row.split(u'\t');
            if (f.size() < 12 || f.at(0) != u"5"_s || f.at(11).trimmed().isEmpty())
                continue;
            words << Word {f.at(11).trimmed(),
                QRect(f.at(6).toInt(), f.at(7).toInt(), f.at(8).toInt(), f.at(9).toInt()),
                f.at(2) + u'.' + f.at(3) + u'.' + f.at(4)};
        }
        const QStringList parts = wanted.split(u' ', Qt::SkipEmptyParts);
        for (qsizetype at = 0; at + parts.size() <= words.size(); ++at) {
            QRect box;
            bool match = true;
            for (qsizetype i = 0; i < parts.size() && match; ++i) {
                const Word &word = words.at(at + i);
                match = word.line == words.at(at).line && distance(folded(word.text), folded(parts.at(i))) <= 1;
                box |= word.box;
            }
            if (match)
                return QRect(box.topLeft() / scale, box.size() / scale);
        }
        return std::nullopt;
    }

    // Keeps image under name in QUILLMERE_DESKTOP_SHOTS, when set.
    static void keep(const QImage &image, const QString &name)
    {
        const QString folder = qEnvironmentVariable("QUILLMERE_DESKTOP_SHOTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(QDir(folder).filePath(name + u".png"_s));
        }
    }

    // A click of the pointer at point (1 left, 2 middle, 3 right).
    static bool click(const QPoint &point, int button = 1)
    {
        // --sync waits until the pointer has moved, which it never does when
        // it is there already: step beside the point first.
        return !output(u"xdotool"_s,
            {u"mousemove"_s, QString::number(point.x() + 1), QString::number(point.y()), u"mousemove"_s, u"--sync"_s,
                QString::number(point.x()), QString::number(point.y()), u"click"_s, QString::number(button),
                u"getmouselocation"_s})
                    .isEmpty();
    }
    // Turns of the wheel at point: positive clicks down, negative up.
    static bool scroll(const QPoint &point, int clicks)
    {
        return QProcess::execute(u"xdotool"_s,
                   {u"mousemove"_s, QString::number(point.x()), QString::number(point.y()), u"click"_s, u"--repeat"_s,
                       QString::number(std::abs(clicks)), clicks > 0 ? u"5"_s : u"4"_s})
            == 0;
    }
    static bool key(const QString &keys) { return QProcess::execute(u"xdotool"_s, {u"key"_s, keys}) == 0; }

    // The outer geometries of the visible X windows xdotool's search finds
    // with these arguments (for example --name PATTERN or --class NAME).
    static QList<QRect> windowGeometries(const QStringList &search)
    {
        const QList<QByteArray> ids
            = output(u"xdotool"_s, QStringList {u"search"_s, u"--onlyvisible"_s} + search).split('\n');
        QList<QRect> found;
        for (const QByteArray &id : ids) {
            if (id.trimmed().isEmpty())
                continue;
            const QString info = QString::fromUtf8(output(u"xwininfo"_s, {u"-id"_s, QString::fromLatin1(id)}));
            const auto value = [&](const QString &key) {
                return QRegularExpression(key + u":\\s*(-?\\d+)"_s).match(info).captured(1).toInt();
            };
            found << QRect(value(u"Absolute upper-left X"_s), value(u"Absolute upper-left Y"_s), value(u"Width"_s),
                value(u"Height"_s));
        }
        return found;
    }
    // The outer geometry of the visible X window whose title matches
    // titlePattern (a regular expression), if there is exactly one.
    static std::optional<QRect> windowGeometry(const QString &titlePattern)
    {
        const QList<QRect> found = windowGeometries({u"--name"_s, titlePattern});
        if (found.size() != 1)
            return std::nullopt;
        return found.first();
    }
    static std::optional<QRect> popoverGeometry() { return windowGeometry(u"^Quillmere$"_s); }
    // Where the popover comes to rest once it shows: its window grows as its
    // tables load, and is placed again as it does.
    static std::optional<QRect> settledPopover()
    {
        return QTest::qWaitFor([] { return popoverGeometry().has_value(); }, 20'000) ? settled(popoverGeometry)
                                                                                     : std::nullopt;
    }

    // --- the session bus ---------------------------------------------------

    static QStringList busNames()
    {
        return QDBusConnection::sessionBus().interface()->registeredServiceNames().value();
    }
    static QStringList busNamesStartingWith(const QString &prefix)
    {
        QStringList names = busNames();
        names.removeIf([&](const QString &name) { return !name.startsWith(prefix); });
        return names;
    }
    // The bus names the running instance's process owns besides its own.
    QStringList instanceNames() const
    {
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        const uint pid = bus->servicePid(e2e::busName).value();
        QStringList names;
        for (const QString &name : busNames()) {
            if (!name.startsWith(u':') && name != e2e::busName && bus->servicePid(name).value() == pid)
                names << name;
        }
        return names;
    }
};

} // namespace desktops
