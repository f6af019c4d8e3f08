#include "state/store.h"

#include "net/api.h"
#include "net/keychain.h"
#include "net/signin.h"
#include "platform/services.h"

#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

QCoro::Task<> Store::restore()
{
    QPointer<Store> self(this);
    if (!embedLink().isEmpty()) {
        co_await refresh();
    } else {
        // Show the last known line at once, before asking the server anything.
        if (!m_payload) {
            std::optional<Payload> cached;
            try {
                cached = co_await m_services.api->cachedPayload(period(), effectiveAccounts(), effectiveTemplate());
            } catch (...) { }
            if (!self)
                co_return;
            if (cached)
                assign(m_payload, std::move(cached));
        }

        std::optional<User> user;
        try {
            user = co_await m_services.api->me(serverBase());
        } catch (...) {
            // No session, or the server cannot be reached: not signed in, silently.
        }
        if (!self)
            co_return;
        assign(m_user, std::move(user));
        if (!m_user)
            assign(m_payload, std::optional<Payload>()); // no cached line without a session

        co_await refresh();
    }
    if (!self)
        co_return;
    schedule();
    assign(m_restoring, false);
}

QCoro::Task<Store::SignInPage> Store::signIn()
{
    const QString verifier = signin::makeVerifier();
    const QString state = signin::makeState();
    m_pending = Pending {verifier, state};
    const QUrl address = signin::address(serverBase(), signin::challenge(verifier), state);
    assign(m_error, std::optional<QString>());
    const bool opened = co_await m_services.browser->open(address);
    co_return SignInPage {address, opened};
}

namespace {

// The value of the first query item called name, when it has one.
std::optional<QString> firstValue(const QList<QPair<QString, QString>> &items, QLatin1StringView name)
{
    for (const auto &item : items) {
        if (item.first == name)
            return item.second.isEmpty() ? std::nullopt : std::optional<QString>(item.second);
    }
    return std::nullopt;
}

} // namespace

QCoro::Task<> Store::handleCallback(QUrl url)
{
    QPointer<Store> self(this);
    // Only the query counts; scheme, host and path are not looked at.
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    if (!m_pending)
        co_return;
    const std::optional<QString> state = firstValue(items, "state"_L1);
    if (!state || *state != m_pending->state)
        co_return;
    const std::optional<QString> code = firstValue(items, "code"_L1);
    if (!code)
        co_return;

    // Forget the pending pair before asking the server, so that a second
    // delivery of the same callback is ignored.
    const Pending pending = *std::exchange(m_pending, std::nullopt);

    std::optional<User> user;
    std::exception_ptr failure;
    try {
        user = co_await m_services.api->exchange(serverBase(), *code, pending.verifier);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        assign(m_error, std::optional<QString>(messageOf(failure)));
        co_return;
    }

    assign(m_user, std::move(user));
    writeString(Keys::embedLink, QString()); // a sign-in replaces an embed link
    assign(m_error, std::optional<QString>());
    co_await refresh();
    if (!self)
        co_return;
    schedule();
}

QCoro::Task<> Store::connect(QString link, QString password)
{
    QPointer<Store> self(this);
    if (!widgetURL(link)) {
        assign(m_error, std::optional<QString>(notAnEmbedLinkMessage));
        co_return;
    }
    writeString(Keys::embedLink, link.trimmed());
    // The password is kept as typed; an empty one removes the item.
    m_services.keychain->set(passwordAccount, password.isEmpty() ? std::nullopt : std::optional<QString>(password));
    assign(m_payload, std::optional<Payload>());
    assign(m_rejectedLink, std::optional<QString>());

    co_await refresh();
    if (!self)
        co_return;
    // A link whose first refresh produced nothing is not kept; the error stays
    // for the connect view.
    if (!m_payload)
        writeString(Keys::embedLink, QString());
    schedule();
}

QCoro::Task<> Store::disconnect()
{
    QPointer<Store> self(this);
    assign(m_timeframe, std::optional<QString>());
    assign(m_accounts, QList<AdAccount>());
    if (m_user) {
        co_await m_services.api->logout(serverBase());
        if (!self)
            co_return;
    }
    writeString(Keys::embedLink, QString());
    m_services.keychain->set(passwordAccount, std::nullopt);
    assign(m_user, std::optional<User>());
    assign(m_workspaces, QList<Workspace>());
    assign(m_payload, std::optional<Payload>());
    assign(m_updatedAt, std::optional<QDateTime>());
    assign(m_error, std::optional<QString>());
    m_timer->stop();
}
