#include "state/store.h"

#include "net/api.h"
#include "platform/services.h"

using namespace Qt::StringLiterals;

QCoro::Task<> Store::toggleAccount(std::optional<QString> id)
{
    QSet<QString> ids = selectedAccounts();
    if (id) {
        if (!ids.remove(*id))
            ids.insert(*id);
    } else {
        // The choice of all accounts.
        ids.clear();
        writeString(Keys::platformIds, QString());
    }
    writeString(Keys::accountIds, joinIds(ids));
    co_await refresh();
}

QCoro::Task<> Store::togglePlatform(QString key)
{
    QSet<QString> platforms = selectedPlatforms();
    if (platforms.remove(key)) {
        // Unpicking a platform also unpicks its accounts picked one by one.
        QSet<QString> ids = selectedAccounts();
        for (const AdAccount &a : m_accounts) {
            if (a.platform == key)
                ids.remove(a.id);
        }
        writeString(Keys::accountIds, joinIds(ids));
    } else {
        platforms.insert(key);
    }
    writeString(Keys::platformIds, joinIds(platforms));
    co_await refresh();
}

QCoro::Task<> Store::selectLineTemplate(QString id)
{
    writeString(Keys::lineTemplate, id);
    // The new template may render a different number of lines.
    writeInteger(Keys::lineIndex, 0);
    co_await refresh();
}

void Store::openDashboard()
{
    // The link was checked when it was connected, but the settings file can be
    // edited by hand: only a web address is handed to the browser.
    const QUrl link(embedLink(), QUrl::StrictMode);
    if (!embedLink().isEmpty() && link.isValid() && (link.scheme() == "http"_L1 || link.scheme() == "https"_L1)) {
        m_services.browser->open(link);
        return;
    }
    m_services.browser->open(API::endpoint(serverBase(), u"dashboard"_s));
}
