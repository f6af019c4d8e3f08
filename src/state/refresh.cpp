#include "state/store.h"

#include "net/api.h"
#include "net/apierror.h"
#include "net/keychain.h"
#include "net/snapshotclient.h"
#include "platform/services.h"

#include <QPointer>
#include <QTimer>

#include <limits>

using namespace Qt::StringLiterals;

QString messageOf(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &e) {
        return describeError(e);
    } catch (...) {
        return u"Unknown error"_s;
    }
}

namespace {

// The status of a failed server answer, or nothing for other failures.
std::optional<int> apiStatus(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const APIError &e) {
        return e.status();
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

QCoro::Task<> Store::refresh()
{
    if (!connected())
        co_return;
    // The only guard against overlapping refreshes: tested and set without a
    // suspension in between, so two refreshes never interleave.
    if (m_loading)
        co_return;
    assign(m_loading, true);

    const QString link = embedLink();
    if (!link.isEmpty()) {
        if (const std::optional<QUrl> widget = widgetURL(link)) {
            co_await refreshEmbed(*widget);
            co_return;
        }
    }
    co_await refreshSignedIn();
}

QCoro::Task<> Store::refreshEmbed(QUrl widget)
{
    QPointer<Store> self(this);
    Keychain *keychain = m_services.keychain;
    API *api = m_services.api;

    // The keychain answers from memory once it has loaded.
    co_await keychain->ready();
    if (!self)
        co_return;

    // The link's accounts, to drop selected ids it no longer has; a failure
    // here only means nothing is dropped.
    try {
        const QList<AdAccount> list = co_await api->accounts(widget, keychain->get(passwordAccount));
        if (!self)
            co_return;
        keepAccounts(list);
    } catch (...) { }
    if (!self)
        co_return;

    // The payload, with the selection read now so that ids dropped above are
    // not sent.
    co_await settle(
        api->payload(widget, keychain->get(passwordAccount), period(), effectiveAccounts(), effectiveTemplate()));
}

QCoro::Task<> Store::refreshSignedIn()
{
    QPointer<Store> self(this);
    API *api = m_services.api;
    const QUrl base = serverBase();

    // The workspaces; without them there is nothing to show.
    std::exception_ptr failure;
    WorkspaceList list;
    try {
        list = co_await api->workspaces(base);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        handleError(failure);
        co_return;
    }

    assign(m_workspaces, list.workspaces);
    assign(m_activeWorkspaceId, list.currentWorkspaceId);

    // A picked workspace that is gone falls back to the current one. The
    // setter's refresh finds this one still loading and returns at once.
    const QString picked = workspaceId();
    if (!picked.isEmpty() && std::none_of(list.workspaces.begin(), list.workspaces.end(), [&](const Workspace &w) {
            return w.workspaceId == picked;
        }))
        setWorkspaceId(QString());

    // Snapshots are cached per user and current workspace.
    if (m_user)
        m_services.snapshots->setScope(m_user->id + u':' + list.currentWorkspaceId.value_or(u"-"_s));

    // The accounts, to drop selected ids that are gone; a failure only means
    // nothing is dropped.
    try {
        const QList<AdAccount> accounts = co_await api->accounts(base);
        if (!self)
            co_return;
        keepAccounts(accounts);
    } catch (...) { }
    if (!self)
        co_return;

    // The payload, with the choices read now so that changes made while
    // waiting already count.
    // The argument is built before the co_await: GCC 12 destroys a class-type
    // temporary of a conditional expression inside a co_await expression twice.
    const QString chosen = workspaceId();
    const std::optional<QString> workspace = chosen.isEmpty() ? std::nullopt : std::optional(chosen);
    co_await settle(
        api->payload(base, workspace, list.currentWorkspaceId, period(), effectiveAccounts(), effectiveTemplate()));
}

// Waits for a payload request, then applies its answer or handles its failure.
QCoro::Task<> Store::settle(QCoro::Task<Payload> request)
{
    QPointer<Store> self(this);
    std::exception_ptr failure;
    std::optional<Payload> answer;
    try {
        answer = co_await std::move(request);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure)
        handleError(failure);
    else
        applyPayload(std::move(*answer));
}

void Store::applyPayload(Payload payload)
{
    assign(m_payload, std::optional<Payload>(std::move(payload)));
    assign(m_updatedAt, std::optional<QDateTime>(m_services.clock->now()));
    assign(m_error, std::optional<QString>());
    assign(m_loading, false);
}

void Store::handleError(const std::exception_ptr &failure)
{
    const std::optional<int> status = apiStatus(failure);
    const QString link = embedLink();
    if (status == 401 && link.isEmpty()) {
        // The sign-in has expired.
        assign(m_user, std::optional<User>());
        assign(m_payload, std::optional<Payload>());
        assign(m_error, std::optional<QString>(sessionExpiredMessage));
        m_timer->stop();
    } else if ((status == 401 || status == 429) && !link.isEmpty()) {
        // The server refuses the link; keep it for the connect view to offer again.
        assign(m_rejectedLink, std::optional<QString>(link));
        writeString(Keys::embedLink, QString());
        assign(m_payload, std::optional<Payload>());
        assign(m_error, std::optional<QString>(messageOf(failure)));
        m_timer->stop();
    } else {
        // The last good figures stay.
        assign(m_error, std::optional<QString>(messageOf(failure)));
    }
    assign(m_loading, false);
}

QCoro::Task<> Store::refreshIfStale()
{
    if (m_updatedAt && m_updatedAt->msecsTo(m_services.clock->now()) < staleAfterMs)
        co_return;
    co_await refresh();
}

void Store::schedule()
{
    m_timer->stop();
    if (!connected())
        return;
    const qint64 minutes = std::max<qint64>(refreshMinutes(), 1);
    // QTimer takes an int of milliseconds; a huge value from an edited file
    // must not wrap around into a tiny or negative interval.
    constexpr qint64 maxMs = std::numeric_limits<int>::max();
    const qint64 ms = minutes > maxMs / 60'000 ? maxMs : minutes * 60'000;
    m_timer->start(int(ms));
}
