// Typed decoding of a large dashboard payload against the bare JSON parse of
// the same bytes. Run with --benchmark_repetitions=N for medians; the
// scripts/bench.sh wrapper prints the ratio.
#include "model/records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

// Display text as the server renders it: "$12,345.67", "1,234", "12.3%".
const QLocale &grouping()
{
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions({});
        return c;
    }();
    return locale;
}

QString money(QRandomGenerator &rng, int bound)
{
    return grouping().toString(double(rng.bounded(bound * 100)) / 100, 'f', 2).prepend(QLatin1Char('$'));
}

QString count(QRandomGenerator &rng, int bound)
{
    return grouping().toString(rng.bounded(bound));
}

QJsonArray sourceRows(QRandomGenerator &rng, int depth, int &budget, const QString &prefix)
{
    static const char *channels[] = {"google_ads", "facebook", "organic_search", "direct", "email", "referral"};
    static const char *levels[] = {"Channel", "Campaign", "Ad group", "Ad"};
    static const char *topics[] = {"Spring sale", "Running shoes", "Retargeting, all visitors", "Brand keywords",
        "Newsletter subscribers", "Lookalike audience 3%"};
    QJsonArray rows;
    const int width = depth == 0 ? 12 : 4;
    for (int i = 0; i < width && budget > 0; ++i) {
        --budget;
        const QString id = prefix + QLatin1Char('.') + QString::number(i);
        QJsonObject row {{QStringLiteral("id"), id},
            {QStringLiteral("name"),
                QStringLiteral("%1: %2 (%3)")
                    .arg(QLatin1StringView(levels[depth]), QLatin1StringView(topics[(i + depth) % 6]), id)},
            {QStringLiteral("rest"), i == width - 1},
            {QStringLiteral("values"),
                QJsonArray {count(rng, 100000), money(rng, 9000),
                    QStringLiteral("%1.%2%").arg(rng.bounded(100)).arg(rng.bounded(10))}}};
        if (depth == 0)
            row.insert(QStringLiteral("channel"), QLatin1StringView(channels[i % 6]));
        if (i % 3 == 0)
            row.insert(QStringLiteral("kind"), QStringLiteral("campaign"));
        if (depth < 3)
            row.insert(QStringLiteral("children"), sourceRows(rng, depth + 1, budget, id));
        rows.append(row);
    }
    return rows;
}

// About 1 MB: 40 tiles, 2,000 rows, 5,000 source rows nested four deep.
QByteArray makePayload()
{
    QRandomGenerator rng(42);
    QJsonArray tiles;
    for (int i = 0; i < 40; ++i)
        tiles.append(QJsonObject {{QStringLiteral("key"), QStringLiteral("tile%1").arg(i)},
            {QStringLiteral("label"), QStringLiteral("Tile %1").arg(i)},
            {QStringLiteral("value"), QStringLiteral("$%1.%2k").arg(rng.bounded(100)).arg(i % 10)},
            {QStringLiteral("caption"), QStringLiteral("+%1%").arg(rng.bounded(50))},
            {QStringLiteral("accent"), i % 4 == 0}});
    QJsonArray rows;
    for (int i = 0; i < 2000; ++i)
        rows.append(QJsonObject {{QStringLiteral("id"), QStringLiteral("cmp-2024-%1").arg(i)},
            {QStringLiteral("name"),
                QStringLiteral("Spring sale %1 - prospecting, broad audiences (desktop and mobile)").arg(i)},
            {QStringLiteral("active"), i % 2 == 0}, {QStringLiteral("spend"), money(rng, 5000)},
            {QStringLiteral("revenue"), money(rng, 15000)},
            {QStringLiteral("roas"), QStringLiteral("%1.%2x").arg(rng.bounded(5)).arg(i % 10)}});
    QJsonArray sources;
    int budget = 5000;
    int round = 0;
    while (budget > 0) {
        const QJsonArray part = sourceRows(rng, 0, budget, QStringLiteral("r%1").arg(round++));
        for (const QJsonValue row : part)
            sources.append(row);
    }
    QJsonObject dashboard {{QStringLiteral("workspaceName"), QStringLiteral("Acme")},
        {QStringLiteral("timeframe"), QStringLiteral("Today")},
        {QStringLiteral("timeframeKey"), QStringLiteral("today")},
        {QStringLiteral("asset"), QStringLiteral("Campaigns")}, {QStringLiteral("partial"), false},
        {QStringLiteral("tiles"), tiles}, {QStringLiteral("rows"), rows},
        {QStringLiteral("sources"),
            QJsonObject {{QStringLiteral("columns"),
                             QJsonArray {QJsonObject {{QStringLiteral("key"), QStringLiteral("visits")},
                                             {QStringLiteral("label"), QStringLiteral("Visits")}},
                                 QJsonObject {{QStringLiteral("key"), QStringLiteral("spend")},
                                     {QStringLiteral("label"), QStringLiteral("Spend")}},
                                 QJsonObject {{QStringLiteral("key"), QStringLiteral("conv")},
                                     {QStringLiteral("label"), QStringLiteral("Conv.")}}}},
                {QStringLiteral("totals"), QJsonArray {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}},
                {QStringLiteral("rows"), sources}}}};
    QJsonObject root {{QStringLiteral("lines"), QJsonArray {QStringLiteral("$2.4k ($310/8) 3.2x")}},
        {QStringLiteral("dashboard"), dashboard}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

const QByteArray &payload()
{
    static const QByteArray bytes = makePayload();
    return bytes;
}

void BM_FromJson(benchmark::State &state)
{
    const QByteArray &bytes = payload();
    for (auto _ : state) {
        QJsonDocument doc = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
    state.counters["bytes"] = double(bytes.size());
}

void BM_DecodePayload(benchmark::State &state)
{
    const QByteArray &bytes = payload();
    for (auto _ : state) {
        Payload p = decodeJson<Payload>(bytes);
        benchmark::DoNotOptimize(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// The typed pass alone, on an already parsed document.
void BM_RecordsFromParsed(benchmark::State &state)
{
    const QJsonObject object = QJsonDocument::fromJson(payload()).object();
    for (auto _ : state) {
        Payload p = Payload::fromJson(QJsonValue(object), json::Path {});
        benchmark::DoNotOptimize(p);
    }
}

} // namespace

BENCHMARK(BM_FromJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePayload)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordsFromParsed)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    payload(); // generated outside any measured loop
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
