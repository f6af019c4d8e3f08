// Addresses from outside: the input, as UTF-8 text, is both a link pasted
// into the embed-link field (checked, and turned into the addresses the
// client then asks) and an address the browser hands back after sign-in
// (checked as the command line does, then given to handleCallback while a
// sign-in is pending). "{state}" in the input stands for the pending
// sign-in's state, so that the fuzzer reaches the code exchange.

#include "fuzzing.h"

#include <QUrlQuery>

namespace {

fuzz::StoreParts *parts;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    parts = new fuzz::StoreParts(fuzz::home() + QStringLiteral("/config/links.ini"));
    parts->network.handler = [](const QNetworkRequest &request, const QByteArray &) {
        if (request.url().path().endsWith(QLatin1StringView("/api/auth/native/token")))
            return fuzz::Answer {200, R"({"user":{"id":"u1","email":"ada@demo.quillmere.test","role":"owner"}})"};
        return fuzz::Answer {401, R"({"error":"Not signed in"})"};
    };
    parts->defaults.setString(Store::Keys::serverURL, QStringLiteral("http://127.0.0.1:8787"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const std::optional<QUrl> widget = Store::widgetURL(text)) {
        API::embedAccountsUrl(*widget);
        API::embedPayloadUrl(*widget, QStringLiteral("today"), QStringLiteral("a1,a2"), QStringLiteral("{spend}"));
    }

    {
        Store store(parts->services());
        store.signIn();
        const QString state = QUrlQuery(parts->browser.opened).queryItemValue(QStringLiteral("state"));
        QString callback = text;
        callback.replace(QStringLiteral("{state}"), state);
        const QUrl url(callback, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            fuzz::wait(store.handleCallback(QUrl(url.toString(QUrl::FullyEncoded))));
    }
    fuzz::settle();
    return 0;
}
