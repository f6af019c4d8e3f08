// Revalidating a ~1 MB snapshot: a 20-operation delta against a full answer.
// The answers come from a local HTTP server in a child process (this program
// run with --serve), prepared before it listens, so its work is the same
// trivial send for both and none of it is counted. CPU time is the whole
// client process's, network thread included. Reports the bytes each answer
// moved (counter "answer_bytes").
#include "net/cookiejar.h"
#include "net/network.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>
#include <QUrlQuery>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>

#include <unistd.h>

namespace {

QJsonObject bigDocument()
{
    QJsonArray rows;
    for (int i = 0; i < 7600; ++i)
        rows.append(QJsonObject {{QStringLiteral("id"), QStringLiteral("row-%1").arg(i)},
            {QStringLiteral("name"), QStringLiteral("Campaign number %1 of the account").arg(i)},
            {QStringLiteral("active"), i % 3 == 0}, {QStringLiteral("spend"), QStringLiteral("$%1.20").arg(i * 7)},
            {QStringLiteral("revenue"), QStringLiteral("$%1.90").arg(i * 19)},
            {QStringLiteral("roas"), QStringLiteral("%1.1x").arg(i % 9)}});
    return QJsonObject {
        {QStringLiteral("lines"), QJsonArray {QStringLiteral("$2.4k ($310/8) 3.2x")}}, {QStringLiteral("rows"), rows}};
}

struct Answers {
    QByteArray full;
    QByteArray delta;

    Answers()
    {
        const QJsonObject doc = bigDocument();
        full = QJsonDocument(QJsonObject {{QStringLiteral("version"), 1},
                                 {QStringLiteral("build"), QStringLiteral("b")}, {QStringLiteral("data"), doc}})
                   .toJson(QJsonDocument::Compact);
        QJsonArray patch;
        for (int i = 0; i < 20; ++i)
            patch.append(QJsonObject {
                {QStringLiteral("p"), QJsonArray {QStringLiteral("rows"), i * 250, QStringLiteral("spend")}},
                {QStringLiteral("v"), QStringLiteral("$%1.00").arg(i)}});
        delta = QJsonDocument(QJsonObject {{QStringLiteral("kind"), QStringLiteral("delta")},
                                  {QStringLiteral("baseVersion"), 1}, {QStringLiteral("version"), 1},
                                  {QStringLiteral("build"), QStringLiteral("b")}, {QStringLiteral("patch"), patch}})
                    .toJson(QJsonDocument::Compact);
    }
};

// The child process: "full.line" always answers in full; "delta.line" answers
// in full without "have" and with the delta when the client holds a version.
// Prints the port, serves until its standard input closes.
int serve()
{
    const Answers answers;
    QHttpServer server;
    server.route(QStringLiteral("/api/snapshot/full.line"),
        [&] { return QHttpServerResponse(QByteArrayLiteral("application/json"), answers.full); });
    server.route(QStringLiteral("/api/snapshot/delta.line"), [&](const QHttpServerRequest &request) {
        const bool held = request.query().hasQueryItem(QStringLiteral("have"));
        return QHttpServerResponse(QByteArrayLiteral("application/json"), held ? answers.delta : answers.full);
    });
    const quint16 port = server.listen(QHostAddress::LocalHost);
    if (!port)
        return 1;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 1;
    QSocketNotifier closed(in.handle(), QSocketNotifier::Read);
    QObject::connect(&closed, &QSocketNotifier::activated, qApp, [&] {
        char byte;
        if (::read(in.handle(), &byte, 1) <= 0)
            qApp->quit();
    });
    QTextStream(stdout) << port << Qt::endl;
    return QCoreApplication::exec();
}

struct Fixture {
    QTemporaryDir dir;
    QProcess server;
    quint16 port = 0;
    QNetworkAccessManager *nam = network::makeManager(new PersistentCookieJar(QString()), nullptr);
    Defaults defaults {dir.path() + QStringLiteral("/settings.ini")};
    SnapshotClient client {nam, &defaults, dir.path() + QStringLiteral("/snapshots")};

    Fixture()
    {
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
        if (server.waitForStarted() && server.waitForReadyRead(60'000))
            port = server.readLine().trimmed().toUShort();
        client.setScope(QStringLiteral("u1:w1"));
    }
    ~Fixture()
    {
        delete nam;
        server.closeWriteChannel();
        if (!server.waitForFinished(5'000))
            server.kill();
        server.waitForFinished();
    }

    QByteArray revalidate(const QString &name)
    {
        QUrl base;
        base.setScheme(QStringLiteral("http"));
        base.setHost(QStringLiteral("127.0.0.1"));
        base.setPort(port);
        QEventLoop loop;
        QByteArray result;
        std::exception_ptr error;
        auto run = [&]() -> QCoro::Task<> {
            try {
                result = co_await client.revalidate(base, name, QJsonObject());
            } catch (...) {
                error = std::current_exception();
            }
            loop.quit();
        };
        auto task = run();
        loop.exec();
        if (error)
            std::rethrow_exception(error);
        return result;
    }
};

Fixture *fixture = nullptr;

void revalidate(benchmark::State &state, const QString &name)
{
    const qint64 documentBytes = fixture->revalidate(name).size(); // hold version 1
    const SnapshotClient::Counters before = fixture->client.counters();
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture->revalidate(name));
    const SnapshotClient::Counters after = fixture->client.counters();
    state.counters["answer_bytes"] = double(after.answerBytes - before.answerBytes) / state.iterations();
    state.counters["document_bytes"] = double(documentBytes);
    state.counters["parses_per_call"] = double(after.documentParses - before.documentParses) / state.iterations();
    state.counters["writes_per_call"] = double(after.fileWrites - before.fileWrites) / state.iterations();
}

void BM_RevalidateFull(benchmark::State &state)
{
    revalidate(state, QStringLiteral("full.line"));
}
void BM_RevalidateDelta20(benchmark::State &state)
{
    revalidate(state, QStringLiteral("delta.line"));
}

BENCHMARK(BM_RevalidateFull)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RevalidateDelta20)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--serve") == 0)
        return serve();
    Fixture f;
    if (!f.port) {
        fprintf(stderr, "the answer server did not start\n");
        return 1;
    }
    fixture = &f;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
