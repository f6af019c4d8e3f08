// The revalidation path on bytes: the input is up to four answers of the
// snapshot endpoint, separated by NUL bytes, served in order to the requests
// of successive revalidations of one request (an empty part is a 304; when
// the parts run out the connection is refused). Typical seeds are a full
// answer followed by deltas against it.
//
// Besides the sanitizers, each successful revalidation is checked against a
// plain reference: the bytes returned are the compact text of the expected
// document (the full answer's data, the held document for a 304, or the
// patch applied to the held document without any of the text reuse), and the
// cache file then holds exactly those bytes.

#include "fuzzing.h"

#include <QJsonDocument>

namespace {

fuzz::CannedNetwork *network;
Defaults *defaults;
QString directory;
QList<QByteArray> answers;
qsizetype served = 0;

const QString name = QStringLiteral("widget.line");
const QJsonObject params = API::params(QStringLiteral("today"), QString(), std::nullopt);

[[noreturn]] void mismatch(const char *what, const QByteArray &got, const QByteArray &expected)
{
    fprintf(stderr, "revalidate: %s\n  got:      %.400s\n  expected: %.400s\n", what, got.constData(),
        expected.constData());
    std::abort();
}

QByteArray compact(const QJsonValue &v)
{
    return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                       : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
}

QJsonValue parsed(const QByteArray &bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

// What revalidation must return after the answers from `first` on, given
// the document held before (empty when none).
QJsonValue expected(qsizetype first, qsizetype used, const QByteArray &held)
{
    const QByteArray &a = answers.at(first);
    if (a.isEmpty())
        return parsed(held); // 304
    const QJsonObject answer = QJsonDocument::fromJson(a).object();
    if (used == 2) // refetched in full
        return QJsonDocument::fromJson(answers.at(first + 1)).object().value(QLatin1StringView("data"));
    if (answer.value(QLatin1StringView("kind")) == QLatin1StringView("delta"))
        return SnapshotClient::applyPatch(parsed(held), answer.value(QLatin1StringView("patch")).toArray());
    return answer.value(QLatin1StringView("data"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    network = new fuzz::CannedNetwork;
    network->handler = [](const QNetworkRequest &, const QByteArray &) {
        if (served >= answers.size())
            return fuzz::Answer {};
        const QByteArray &a = answers.at(served++);
        return a.isEmpty() ? fuzz::Answer {304, {}} : fuzz::Answer {200, a};
    };
    defaults = new Defaults(fuzz::home() + QStringLiteral("/config/revalidate.ini"));
    defaults->setString(SnapshotClient::scopeKey, QStringLiteral("fuzz-scope"));
    directory = fuzz::home() + QStringLiteral("/cache/revalidate");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    answers = fuzz::parts(data, size, 4);
    served = 0;
    const QUrl base(QStringLiteral("http://127.0.0.1:8787/"));
    QByteArray held; // what the cache holds, as last returned
    {
        SnapshotClient client(network, defaults, directory);
        client.restoreScope();
        QFile::remove(client.filePath(SnapshotClient::cacheKey(*client.scope(), name, params)));
        while (served < answers.size()) {
            const qsizetype first = served;
            QByteArray got;
            try {
                got = fuzz::wait(client.revalidate(base, name, params));
            } catch (const Error &) {
                continue;
            }
            const QJsonValue want = expected(first, served - first, held);
            if (got != compact(parsed(got)))
                mismatch("the text is not the compact text of its document", got, compact(parsed(got)));
            if (parsed(got) != want)
                mismatch("not the expected document", got, compact(want));
            held = got;
        }
    }
    if (!held.isEmpty()) {
        SnapshotClient fresh(network, defaults, directory);
        fresh.restoreScope();
        const QByteArray stored = fresh.cached(name, params).value_or(QByteArray());
        if (stored != held)
            mismatch("the cache file does not hold what was returned", stored, held);
    }
    fuzz::settle();
    return 0;
}
