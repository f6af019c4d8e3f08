#pragma once

// Shared parts of the libFuzzer targets: one QCoreApplication per process,
// XDG folders in a private temporary folder (set before anything reads them,
// so no target ever touches the user's real files), a network manager whose
// answers come from the fuzz input instead of a socket, and test doubles for
// the desktop services a Store needs.

#include "net/api.h"
#include "net/keychain.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"
#include "platform/services.h"
#include "state/store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace fuzz {

// The private folder of this process, made on first use.
inline const QString &home()
{
    static const QString dir = [] {
        // In memory where possible: the program syncs every file it
        // replaces, which on a disk would dominate the time of a run.
        const QString parent
            = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        QByteArray templ = parent.toLocal8Bit() + "/quillmere-fuzz-XXXXXX";
        if (!mkdtemp(templ.data()))
            std::abort();
        const QString path = QString::fromLocal8Bit(templ);
        for (const char *sub : {"config", "data", "cache"})
            QDir(path).mkpath(QString::fromLatin1(sub));
        qputenv("HOME", templ);
        qputenv("XDG_CONFIG_HOME", templ + "/config");
        qputenv("XDG_DATA_HOME", templ + "/data");
        qputenv("XDG_CACHE_HOME", templ + "/cache");
        static const QByteArray *made = new QByteArray(templ);
        std::atexit([] { QDir(QString::fromLocal8Bit(*made)).removeRecursively(); });
        return path;
    }();
    return dir;
}

// Call from LLVMFuzzerInitialize: the folder and the application object.
inline void start()
{
    home();
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    static int argc = 1;
    static char name[] = "quillmere-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// What an event loop would do between inputs: delivers the events a run
// posted, then deletes the objects it left to deleteLater. The first call
// also drops delivered entries from the thread's queue (only a call for
// every type and receiver does); without it the queue grows with each
// deleteLater and every call scans all of it.
inline void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(bytes.data(), bytes.size());
}

// Splits the input at NUL bytes: the first parts, at most max of them (the
// last one keeps any further NULs).
inline QList<QByteArray> parts(const uint8_t *data, size_t size, qsizetype max)
{
    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> out;
    qsizetype from = 0;
    while (out.size() < max - 1) {
        const qsizetype nul = all.indexOf('\0', from);
        if (nul < 0)
            break;
        out.append(all.mid(from, nul - from));
        from = nul + 1;
    }
    out.append(all.mid(from));
    return out;
}

// A finished answer, whole when it is handed out: network::perform finds
// the reply finished and reads it without waiting for the event loop.
class CannedReply : public QNetworkReply {
public:
    CannedReply(const QNetworkRequest &request, QNetworkAccessManager::Operation op, int status, QByteArray body)
        : m_body(std::move(body))
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(op);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        if (status > 0) {
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
            setHeader(QNetworkRequest::ContentLengthHeader, m_body.size());
        } else {
            setError(QNetworkReply::ConnectionRefusedError, QStringLiteral("Connection refused"));
        }
        setFinished(true);
    }

    void abort() override { }
    qint64 bytesAvailable() const override { return m_body.size() - m_at + QNetworkReply::bytesAvailable(); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 n = std::min(max, qint64(m_body.size() - m_at));
        if (n <= 0)
            return m_at >= m_body.size() ? -1 : 0;
        memcpy(out, m_body.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }

private:
    QByteArray m_body;
    qsizetype m_at = 0;
};

struct Answer {
    int status = 0; // 0: the connection is refused
    QByteArray body;
};

// Every request is answered at once by the handler.
class CannedNetwork : public QNetworkAccessManager {
public:
    std::function<Answer(const QNetworkRequest &, const QByteArray &verb)> handler;
    int requests = 0;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *) override
    {
        ++requests;
        QByteArray verb;
        switch (op) {
        case GetOperation:
            verb = "GET";
            break;
        case PostOperation:
            verb = "POST";
            break;
        default:
            verb = request.attribute(QNetworkRequest::CustomVerbAttribute).toByteArray();
            break;
        }
        const Answer a = handler ? handler(request, verb) : Answer {};
        return new CannedReply(request, op, a.status, a.body);
    }
};

class NullBrowser : public Browser {
public:
    QCoro::Task<bool> open(const QUrl &url) override
    {
        opened = url;
        co_return true;
    }
    QUrl opened;
};

class FixedClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

class NullLoginItem : public LoginItem {
public:
    bool enabled() const override { return false; }
    std::optional<QString> setEnabled(bool) override { return std::nullopt; }
};

// The parts a Store runs on, with the settings in `settingsFile` and the
// snapshot cache in the private folder.
struct StoreParts {
    explicit StoreParts(const QString &settingsFile)
        : defaults(settingsFile), snapshots(&network, &defaults, home() + QStringLiteral("/cache/snapshots")),
          api(&network, &snapshots)
    { }

    Store::Services services()
    {
        return {&defaults, &api, &snapshots, &keychain, &browser, &clock, nullptr, &loginItem};
    }

    CannedNetwork network;
    Defaults defaults;
    SnapshotClient snapshots;
    API api;
    MemoryKeychain keychain;
    NullBrowser browser;
    FixedClock clock;
    NullLoginItem loginItem;
};

namespace detail {

template<class T>
QCoro::Task<> capture(QCoro::Task<T> task, std::optional<T> &out, std::exception_ptr &failure, bool &done)
{
    try {
        out.emplace(co_await std::move(task));
    } catch (...) {
        failure = std::current_exception();
    }
    done = true;
}

inline QCoro::Task<> capture(QCoro::Task<> task, std::exception_ptr &failure, bool &done)
{
    try {
        co_await std::move(task);
    } catch (...) {
        failure = std::current_exception();
    }
    done = true;
}

inline void runUntil(const bool &done)
{
    // With canned answers nothing waits; should something wait after all,
    // the event loop runs until it is done.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace detail

// Runs a task to its end and returns its result or throws its failure.
// (QCoro::waitFor waits forever for a task that throws.)
template<class T> T wait(QCoro::Task<T> task)
{
    std::optional<T> out;
    std::exception_ptr failure;
    bool done = false;
    auto runner = detail::capture(std::move(task), out, failure, done);
    detail::runUntil(done);
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*out);
}

inline void wait(QCoro::Task<> task)
{
    std::exception_ptr failure;
    bool done = false;
    auto runner = detail::capture(std::move(task), failure, done);
    detail::runUntil(done);
    if (failure)
        std::rethrow_exception(failure);
}

// Runs a task to its end; every failure it may raise is one of the
// program's readable errors (anything else ends the run as a finding).
template<class T> void finish(QCoro::Task<T> task)
{
    try {
        wait(std::move(task));
    } catch (const Error &) { }
}

} // namespace fuzz
