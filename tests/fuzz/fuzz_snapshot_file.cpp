// The snapshot cache file as read at start: the input is the file of the
// "widget.line" request, optionally followed (after a NUL byte) by an answer
// of the snapshot endpoint to revalidate it with (an empty one is a 304).
// The file is read the way the Store shows the last known line at start, and
// the answer is then applied to what was read.

#include "fuzzing.h"

namespace {

fuzz::CannedNetwork *network;
Defaults *defaults;
QString directory;
QByteArray answer;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    network = new fuzz::CannedNetwork;
    network->handler = [](const QNetworkRequest &, const QByteArray &) {
        return answer.isEmpty() ? fuzz::Answer {304, {}} : fuzz::Answer {200, answer};
    };
    defaults = new Defaults(fuzz::home() + QStringLiteral("/config/snapshot_file.ini"));
    defaults->setString(SnapshotClient::scopeKey, QStringLiteral("fuzz-scope"));
    directory = fuzz::home() + QStringLiteral("/cache/snapshot_file");
    QDir().mkpath(directory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts = fuzz::parts(data, size, 2);
    answer = parts.value(1);
    const QString name = QStringLiteral("widget.line");
    const QString timeframe = QStringLiteral("today");
    {
        SnapshotClient client(network, defaults, directory);
        API api(network, &client);
        client.restoreScope();
        const QJsonObject params = API::params(timeframe, QString(), std::nullopt);
        fuzz::writeFile(client.filePath(SnapshotClient::cacheKey(*client.scope(), name, params)), parts.at(0));
        if (const std::optional<Payload> payload = fuzz::wait(api.cachedPayload(timeframe, QString(), std::nullopt)))
            Store::linesOf(payload);
        if (parts.size() > 1)
            fuzz::finish(client.revalidate(QUrl(QStringLiteral("http://127.0.0.1:8787/")), name, params));
    }
    fuzz::settle();
    return 0;
}
