// Drives a running quillmere-menubar through many refreshes against the
// development server (started with --faults, so the data can be moved on
// between refreshes) and reports the instance's memory, open descriptors and
// refresh times. scripts/soak.sh sets up the session and the processes.
//
// The refreshes run in blocks that alternate between the two ways of being
// connected: a browser sign-in (the sign-in page loaded and submitted as a
// browser would, the callback handed to the instance like a second launch
// does) and an embed link (with and without a password). Before each
// sign-in refresh the data moves on (a delta answer), stays (unchanged) or
// the server's build changes (a full answer); embed links always get the
// whole payload. The popover is opened and closed again every
// --popover-every refreshes, as a launch and a panel click do it.

#include "dbusnames.h"
#include "signinform.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int httpTimeoutMs = 30'000;
constexpr int commandTimeoutMs = 120'000;
constexpr int windowTimeoutMs = 10'000;

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
}

// ---- HTTP, as a browser or a script talks to the server ----------------------------

struct Answer {
    int status = 0;
    QByteArray body;
    QByteArray location;
};

class Http {
public:
    Http() { m_nam.setCookieJar(new QNetworkCookieJar(&m_nam)); }

    Answer send(const QUrl &url, const QByteArray &verb = "GET", const QByteArray &body = {},
        const QByteArray &type = "application/json")
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(httpTimeoutMs);
        if (!body.isEmpty() || verb == "POST")
            request.setHeader(QNetworkRequest::ContentTypeHeader, type);
        QNetworkReply *reply = m_nam.sendCustomRequest(request, verb, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        answer.location = reply->rawHeader("Location");
        reply->deleteLater();
        return answer;
    }

private:
    QNetworkAccessManager m_nam;
};

// What a browser does with the sign-in page: load it, press the button of the
// account with this email, and return where the server sends it (the
// program's callback address). Empty with a reason on failure.
QUrl browserSignIn(const QUrl &page, const QString &email, QString &why)
{
    Http browser;
    const Answer html = browser.send(page);
    if (html.status != 200) {
        why = u"sign-in page answered %1"_s.arg(html.status);
        return {};
    }
    const signinform::Submission form = signinform::submit(page, QString::fromUtf8(html.body), email);
    if (!form.error.isEmpty()) {
        why = form.error;
        return {};
    }
    const Answer answer = browser.send(form.action, "POST", form.body, "application/x-www-form-urlencoded");
    if (answer.status != 302) {
        why = u"the form was answered with %1"_s.arg(answer.status);
        return {};
    }
    return QUrl::fromEncoded(answer.location);
}

// ---- the instance on the session bus ------------------------------------------------

class Instance {
public:
    explicit Instance(QDBusConnection bus) : m_bus(std::move(bus)) { }

    // A method of the instance; the reply, or an error message.
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
        const QVariantList &arguments, int timeoutMs = commandTimeoutMs)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(dbusnames::service, path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, timeoutMs);
    }
    // ActivateAction; waits for the action to finish where the instance says
    // so (refresh, connect, disconnect). An empty string when it succeeded.
    QString action(const QString &name, const QVariantList &parameter = {})
    {
        const QDBusMessage reply = call(dbusnames::path, dbusnames::applicationInterface, u"ActivateAction"_s,
            {name, QVariant::fromValue(parameter), QVariantMap()});
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
    }
    QString open(const QUrl &callback)
    {
        const QDBusMessage reply = call(dbusnames::path, dbusnames::applicationInterface, u"Open"_s,
            {QStringList {callback.toString(QUrl::FullyEncoded)}, QVariantMap()});
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
    }
    QVariant property(const QString &name)
    {
        const QDBusMessage reply = call(
            dbusnames::path, dbusnames::propertiesInterface, u"Get"_s, {dbusnames::menuBarInterface, name}, 10'000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QVariant();
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
    // A launch without arguments: opens the popover.
    QString activate()
    {
        const QDBusMessage reply
            = call(dbusnames::path, dbusnames::applicationInterface, u"Activate"_s, {QVariantMap()}, 30'000);
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
    }
    // A click on the panel item: closes the popover when it is open.
    QString clickItem()
    {
        const QDBusMessage reply
            = call(u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"Activate"_s, {0, 0}, 30'000);
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
    }

private:
    QDBusConnection m_bus;
};

// ---- the instance's process ---------------------------------------------------------

qint64 rssKiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// What each open descriptor refers to, by kind ("socket", "anon_inode:[eventfd]",
// a file's path), with counts.
QMap<QString, int> descriptors(qint64 pid)
{
    QMap<QString, int> kinds;
    const QDir dir(u"/proc/%1/fd"_s.arg(pid));
    for (const QString &fd : dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        QString target = QFileInfo(dir.filePath(fd)).symLinkTarget();
        if (target.isEmpty())
            target = QFile::symLinkTarget(dir.filePath(fd));
        target.replace(QRegularExpression(u"^(socket|pipe):\\[\\d+\\]$"_s), u"\\1"_s);
        target.replace(QRegularExpression(u"^/proc/\\d+/"_s), u"/proc/PID/"_s);
        ++kinds[target.isEmpty() ? u"?"_s : target];
    }
    return kinds;
}

int total(const QMap<QString, int> &kinds)
{
    int n = 0;
    for (int count : kinds)
        n += count;
    return n;
}

QString difference(const QMap<QString, int> &before, const QMap<QString, int> &after)
{
    QStringList out;
    QStringList keys = before.keys() + after.keys();
    keys.removeDuplicates();
    keys.sort();
    for (const QString &key : keys) {
        const int d = after.value(key) - before.value(key);
        if (d != 0)
            out << u"%1%2 %3"_s.arg(d > 0 ? u"+"_s : QString()).arg(d).arg(key);
    }
    return out.join(u", "_s);
}

// Whether the X server shows a window titled exactly "Quillmere" (the popover).
bool popoverMapped()
{
    QProcess tree;
    tree.start(u"xwininfo"_s, {u"-root"_s, u"-tree"_s});
    if (!tree.waitForFinished(10'000))
        return false;
    static const QRegularExpression titled(u"^\\s*(0x[0-9a-f]+) \"Quillmere\":"_s, QRegularExpression::MultilineOption);
    for (const auto &m : titled.globalMatch(QString::fromUtf8(tree.readAllStandardOutput()))) {
        QProcess info;
        info.start(u"xwininfo"_s, {u"-id"_s, m.captured(1)});
        if (info.waitForFinished(10'000) && info.readAllStandardOutput().contains("Map State: IsViewable"))
            return true;
    }
    return false;
}

bool waitForPopover(bool shown)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < windowTimeoutMs) {
        if (popoverMapped() == shown)
            return true;
        QThread::msleep(50);
    }
    return false;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = size_t(std::ceil(p * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

QString percentiles(const std::vector<double> &ms)
{
    if (ms.empty())
        return u"none measured"_s;
    return u"p50 %1, p90 %2, p99 %3, max %4 ms (%5 refreshes)"_s.arg(percentile(ms, 0.5), 0, 'f', 1)
        .arg(percentile(ms, 0.9), 0, 'f', 1)
        .arg(percentile(ms, 0.99), 0, 'f', 1)
        .arg(percentile(ms, 1.0), 0, 'f', 1)
        .arg(ms.size());
}

// ---- the run ------------------------------------------------------------------------

struct Options {
    QUrl server;
    qint64 pid = 0;
    int refreshes = 10'000;
    int block = 0;
    int warmup = 0;
    int popoverEvery = 100;
    QString openedFile;
    bool checkWindows = true;
};

struct Sample {
    qint64 rss = 0;
    QMap<QString, int> fds;
};

class Soak {
public:
    explicit Soak(Options options) : m_options(std::move(options)), m_instance(QDBusConnection::sessionBus()) { }

    int run()
    {
        const Options &o = m_options;
        Sample warm;
        bool sampled = false;
        for (int i = 0; i < o.refreshes; ++i) {
            if (i == o.warmup) {
                warm = sample();
                sampled = true;
                say(u"after warm-up (%1 refreshes): RSS %2 KiB, %3 open descriptors"_s.arg(i).arg(warm.rss).arg(
                    total(warm.fds)));
            } else if (i % o.block == 0 && i > 0) {
                const Sample now = sample();
                say(u"refresh %1: RSS %2 KiB, %3 open descriptors"_s.arg(i).arg(now.rss).arg(total(now.fds)));
            }
            if (i % o.block == 0 && !switchMode(i / o.block))
                return 1;
            if (i % o.popoverEvery == 0)
                popover(i, true);
            else if (i % o.popoverEvery == o.popoverEvery / 2)
                popover(i, false);
            refresh(i);
            if (rssKiB(o.pid) < 0) { // gone, or a zombie
                say(u"FAIL: the instance ended at refresh %1"_s.arg(i));
                return 1;
            }
        }
        if (m_popoverOpen)
            popover(o.refreshes, false);
        const Sample end = sample();
        if (!sampled)
            warm = end;
        return report(warm, end);
    }

private:
    enum class Mode { SignIn, Embed };

    Sample sample()
    {
        // Let whatever the last refresh left for later (deferred deletes,
        // idle connections) settle first.
        QThread::msleep(300);
        return {rssKiB(m_options.pid), descriptors(m_options.pid)};
    }

    void fail(int i, const QString &what)
    {
        ++m_errors;
        if (m_errors <= 20)
            say(u"error at refresh %1: %2"_s.arg(i).arg(what));
    }

    QUrl at(const QString &path) const { return m_options.server.resolved(QUrl(path)); }

    bool dev(const QString &control, const QJsonObject &body = {})
    {
        const Answer a = m_http.send(at(u"/_dev/"_s + control), "POST", QJsonDocument(body).toJson());
        return a.status == 200;
    }

    QStringList opened() const
    {
        QFile file(m_options.openedFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // Block b: even blocks sign in (Ada, then Ben, in turn), odd ones use an
    // embed link (with a password, then without one, in turn). Blocks start
    // while the popover is closed and it opens right after the switch, so
    // the views meet a new kind of dashboard the moment they appear.
    bool switchMode(int b)
    {
        const int i = b * m_options.block;
        if (b % 2 == 0) {
            m_mode = Mode::SignIn;
            // Signed out first (this also ends the embed link), as a user
            // switching accounts would.
            if (b > 0) {
                if (const QString error = m_instance.action(dbusnames::actions::disconnect); !error.isEmpty()) {
                    fail(i, u"disconnect: "_s + error);
                    return false;
                }
            }
            const QString email = (b / 2) % 2 == 0 ? u"ada@demo.quillmere.test"_s : u"ben@demo.quillmere.test"_s;
            const qsizetype before = opened().size();
            if (const QString error = m_instance.action(dbusnames::actions::signIn); !error.isEmpty()) {
                fail(i, u"sign-in: "_s + error);
                return false;
            }
            QElapsedTimer clock;
            clock.start();
            while (opened().size() <= before && clock.elapsed() < windowTimeoutMs)
                QThread::msleep(20);
            if (opened().size() <= before) {
                fail(i, u"sign-in: the instance opened no sign-in page"_s);
                return false;
            }
            QString why;
            const QUrl callback = browserSignIn(QUrl(opened().last()), email, why);
            if (callback.isEmpty()) {
                fail(i, u"sign-in: "_s + why);
                return false;
            }
            if (const QString error = m_instance.open(callback); !error.isEmpty()) {
                fail(i, u"sign-in callback: "_s + error);
                return false;
            }
            ++m_signIns;
        } else {
            m_mode = Mode::Embed;
            const bool protectedLink = (b / 2) % 2 == 0;
            const QString link = at(protectedLink ? u"/embed/hb-Rm4pT9sQ"_s : u"/embed/nw-7Hq2XbLk"_s).toString();
            const QString password = protectedLink ? u"harbor-smile"_s : QString();
            if (const QString error
                = m_instance.action(dbusnames::actions::connect, {QVariant(QStringList {link, password})});
                !error.isEmpty()) {
                fail(i, u"connect: "_s + error);
                return false;
            }
            ++m_connects;
        }
        const QString error = m_instance.property(u"Error"_s).toString();
        if (!error.isEmpty()) {
            fail(i, u"after connecting: "_s + error);
            return false;
        }
        return true;
    }

    void popover(int i, bool open)
    {
        const QString error = open ? m_instance.activate() : m_instance.clickItem();
        if (!error.isEmpty()) {
            fail(i, (open ? u"opening the popover: "_s : u"closing the popover: "_s) + error);
            return;
        }
        m_popoverOpen = open;
        if (m_options.checkWindows && !waitForPopover(open))
            fail(i, open ? u"the popover did not show"_s : u"the popover did not close"_s);
        if (open)
            ++m_popovers;
    }

    void refresh(int i)
    {
        // What the server has for the next refresh.
        if (m_mode == Mode::SignIn && i % 10 == 9) {
            if (!dev(u"build"_s)) // held versions forgotten: a full answer
                fail(i, u"the server did not take a new build"_s);
            ++m_fullPlanned;
        } else if (m_mode == Mode::SignIn && i % 10 == 4) {
            ++m_unchangedPlanned; // nothing new: 304
        } else {
            if (!dev(u"advance"_s, {{u"ticks"_s, 1}}))
                fail(i, u"the server did not advance"_s);
            if (m_mode == Mode::SignIn)
                ++m_deltaPlanned;
        }

        QElapsedTimer clock;
        clock.start();
        const QString error = m_instance.action(dbusnames::actions::refresh);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (!error.isEmpty()) {
            fail(i, u"refresh: "_s + error);
            return;
        }
        if (const QString shown = m_instance.property(u"Error"_s).toString(); !shown.isEmpty())
            fail(i, u"the line shows an error: "_s + shown);
        const QString title = m_instance.property(u"Title"_s).toString();
        if (title != m_lastTitle)
            ++m_titleChanges;
        m_lastTitle = title;
        if (i >= m_options.warmup)
            (m_mode == Mode::SignIn ? m_signInMs : m_embedMs).push_back(ms);
        ++(m_mode == Mode::SignIn ? m_signInRefreshes : m_embedRefreshes);
    }

    int report(const Sample &warm, const Sample &end)
    {
        const Options &o = m_options;
        say(u"== soak: %1 refreshes (%2 signed in, %3 through an embed link); %4 sign-ins, %5 embed-link connects; "
            u"popover opened and closed %6 times"_s.arg(o.refreshes)
                .arg(m_signInRefreshes)
                .arg(m_embedRefreshes)
                .arg(m_signIns)
                .arg(m_connects)
                .arg(m_popovers));
        say(u"signed-in refreshes prepared: %1 with new data (delta), %2 after a new build (full), %3 unchanged (304); "
            u"the line changed %4 times"_s.arg(m_deltaPlanned)
                .arg(m_fullPlanned)
                .arg(m_unchangedPlanned)
                .arg(m_titleChanges));
        const qint64 growth = end.rss - warm.rss;
        say(u"RSS after warm-up (%1 refreshes): %2 KiB; at the end: %3 KiB; growth %4 KiB (goal under 2048 KiB: %5)"_s
                .arg(o.warmup)
                .arg(warm.rss)
                .arg(end.rss)
                .arg(growth)
                .arg(growth < 2048 ? u"met"_s : u"MISSED"_s));
        const int fdWarm = total(warm.fds);
        const int fdEnd = total(end.fds);
        say(u"open descriptors after warm-up: %1; at the end: %2%3"_s.arg(fdWarm).arg(fdEnd).arg(
            fdEnd == fdWarm ? u" (flat)"_s : u" (changed: "_s + difference(warm.fds, end.fds) + u')'));
        std::vector<double> all = m_signInMs;
        all.insert(all.end(), m_embedMs.begin(), m_embedMs.end());
        say(u"refresh time after warm-up: "_s + percentiles(all));
        say(u"  signed in: "_s + percentiles(m_signInMs));
        say(u"  embed link: "_s + percentiles(m_embedMs));
        say(u"errors: %1"_s.arg(m_errors));
        int status = 0;
        if (fdEnd > fdWarm) {
            say(u"FAIL: descriptors leak"_s);
            status = 1;
        }
        if (m_errors > 0) {
            say(u"FAIL: errors during the soak"_s);
            status = 1;
        }
        return status;
    }

    Options m_options;
    Instance m_instance;
    Http m_http;
    Mode m_mode = Mode::SignIn;
    bool m_popoverOpen = false;
    QString m_lastTitle;
    int m_errors = 0, m_signIns = 0, m_connects = 0, m_popovers = 0, m_titleChanges = 0;
    int m_signInRefreshes = 0, m_embedRefreshes = 0;
    int m_deltaPlanned = 0, m_fullPlanned = 0, m_unchangedPlanned = 0;
    std::vector<double> m_signInMs, m_embedMs;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Soak run of the running quillmere-menubar (see scripts/soak.sh)."_s);
    parser.addHelpOption();
    const QCommandLineOption server(u"server"_s, u"Base address of the development server."_s, u"url"_s);
    const QCommandLineOption pid(u"pid"_s, u"Process id of the running instance."_s, u"pid"_s);
    const QCommandLineOption refreshes(u"refreshes"_s, u"Number of refreshes."_s, u"n"_s, u"10000"_s);
    const QCommandLineOption block(u"block"_s, u"Refreshes per connection mode before switching."_s, u"n"_s);
    const QCommandLineOption warmup(u"warmup"_s, u"Refreshes before the first measurement."_s, u"n"_s);
    const QCommandLineOption popoverEvery(
        u"popover-every"_s, u"Open the popover every n refreshes (closed halfway)."_s, u"n"_s, u"100"_s);
    const QCommandLineOption opened(
        u"opened"_s, u"File the instance's browser (QUILLMERE_BROWSER) appends addresses to."_s, u"file"_s);
    const QCommandLineOption noWindowCheck(u"no-window-check"_s, u"Do not ask the X server about the popover."_s);
    parser.addOptions({server, pid, refreshes, block, warmup, popoverEvery, opened, noWindowCheck});
    parser.process(app);

    Options o;
    o.server = QUrl(parser.value(server));
    o.pid = parser.value(pid).toLongLong();
    o.refreshes = parser.value(refreshes).toInt();
    o.popoverEvery = std::max(2, parser.value(popoverEvery).toInt());
    o.openedFile = parser.value(opened);
    o.checkWindows = !parser.isSet(noWindowCheck);
    // One block per twentieth of the run, at least 100 refreshes (a multiple
    // of --popover-every keeps each switch in a closed popover); the warm-up
    // is the first four blocks (both accounts and both links once), at most
    // half the run.
    o.block = parser.isSet(block) ? parser.value(block).toInt() : std::max(o.popoverEvery, o.refreshes / 20);
    o.warmup = parser.isSet(warmup) ? parser.value(warmup).toInt() : std::min(4 * o.block, o.refreshes / 2);
    if (!o.server.isValid() || o.pid <= 0 || o.refreshes <= 0 || o.block <= 0 || o.openedFile.isEmpty()) {
        std::fprintf(stderr, "soak driver: --server, --pid and --opened are required\n");
        return 2;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "soak driver: no session bus\n");
        return 2;
    }
    return Soak(o).run();
}
