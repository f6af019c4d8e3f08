// Revalidating a ~1 MB snapshot: a 20-operation delta against a full answer,
// both served by a local HTTP server. Reports CPU time per revalidation and
// the bytes each answer moved (counter "answer_bytes").
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
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <exception>

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

struct Fixture {
    QTemporaryDir dir;
    QHttpServer server;
    quint16 port = 0;
    QByteArray fullBody;
    QByteArray deltaBody;
    qint64 version = 1;
    bool sendDelta = false;
    qint64 answerBytes = 0;
    QNetworkAccessManager *nam = network::makeManager(new PersistentCookieJar(QString()), nullptr);
    Defaults defaults {dir.path() + QStringLiteral("/settings.ini")};
    SnapshotClient client {nam, &defaults, dir.path() + QStringLiteral("/snapshots")};

    Fixture()
    {
        const QJsonObject doc = bigDocument();
        fullBody = QJsonDocument(QJsonObject {{QStringLiteral("version"), 1},
                                     {QStringLiteral("build"), QStringLiteral("b")}, {QStringLiteral("data"), doc}})
                       .toJson(QJsonDocument::Compact);
        QJsonArray patch;
        for (int i = 0; i < 20; ++i)
            patch.append(QJsonObject {
                {QStringLiteral("p"), QJsonArray {QStringLiteral("rows"), i * 250, QStringLiteral("spend")}},
                {QStringLiteral("v"), QStringLiteral("$%1.00").arg(i)}});
        deltaBody = QJsonDocument(QJsonObject {{QStringLiteral("kind"), QStringLiteral("delta")},
                                      {QStringLiteral("baseVersion"), 1}, {QStringLiteral("version"), 1},
                                      {QStringLiteral("build"), QStringLiteral("b")}, {QStringLiteral("patch"), patch}})
                        .toJson(QJsonDocument::Compact);
        server.route(QStringLiteral("/api/snapshot/widget.line"), [this] {
            const QByteArray &body = sendDelta ? deltaBody : fullBody;
            answerBytes = body.size();
            return QHttpServerResponse(QByteArrayLiteral("application/json"), body);
        });
        port = server.listen(QHostAddress::LocalHost);
        client.setScope(QStringLiteral("u1:w1"));
    }
    ~Fixture() { delete nam; }

    QByteArray revalidate()
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
                result = co_await client.revalidate(base, QStringLiteral("widget.line"), QJsonObject());
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

void revalidate(benchmark::State &state, bool delta)
{
    fixture->sendDelta = false;
    const qint64 documentBytes = fixture->revalidate().size(); // hold version 1
    fixture->sendDelta = delta;
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture->revalidate());
    state.counters["answer_bytes"] = double(fixture->answerBytes);
    state.counters["document_bytes"] = double(documentBytes);
}

void BM_RevalidateFull(benchmark::State &state)
{
    revalidate(state, false);
}
void BM_RevalidateDelta20(benchmark::State &state)
{
    revalidate(state, true);
}

BENCHMARK(BM_RevalidateFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RevalidateDelta20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Fixture f;
    fixture = &f;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
