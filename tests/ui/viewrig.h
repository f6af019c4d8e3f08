#pragma once

// The QML singleton Rig of the view tests: one Store on real parts against a
// scripted server (tests/state/storerig.h), and the handles a test needs to
// put that Store into each state the views draw.

#include "../state/storerig.h"
#include "dashboardmodel.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QSettings>
#include <QVariant>

class ViewRig : public QObject {
    Q_OBJECT

public:
    explicit ViewRig(QObject *parent = nullptr) : QObject(parent) { m_rig.start(); }

    Store *store() const { return m_rig.store.get(); }

    // Back to a disconnected Store and a server answering at once with the
    // default lines, accounts and workspaces and no dashboard.
    Q_INVOKABLE void reset()
    {
        settle();
        Backend fresh;
        Backend &b = m_rig.backend;
        b.failures.clear();
        b.delayMs = 0;
        b.extra = QJsonObject();
        b.lines = fresh.lines;
        b.accounts = fresh.accounts;
        b.workspaces = fresh.workspaces;
        b.current = fresh.current;
        b.user = fresh.user;
        Rig::run(store()->disconnect());
        m_rig.defaults->setString(Store::Keys::serverURL, b.server.url().toString());
        for (const QString &key :
            {Store::Keys::period, Store::Keys::accountIds, Store::Keys::platformIds, Store::Keys::workspaceId})
            m_rig.defaults->remove(key);
    }

    // What the server answers from now on. A dashboard is a plain object in
    // the server's JSON shape; an undefined or null one means none.
    Q_INVOKABLE void setDashboard(const QVariant &dashboard)
    {
        const QVariantMap map = dashboard.toMap();
        if (map.isEmpty())
            m_rig.backend.extra.remove(QStringLiteral("dashboard"));
        else
            m_rig.backend.extra.insert(QStringLiteral("dashboard"), QJsonObject::fromVariantMap(map));
    }
    Q_INVOKABLE void setLines(const QStringList &lines) { m_rig.backend.lines = lines; }
    // Each account: {id, name, platform, platformLabel}.
    Q_INVOKABLE void setAccounts(const QVariantList &accounts)
    {
        m_rig.backend.accounts = QJsonArray::fromVariantList(accounts);
    }
    // Each workspace: {workspaceId, name, role}; current may be empty (none).
    Q_INVOKABLE void setWorkspaces(const QVariantList &workspaces, const QString &current)
    {
        m_rig.backend.workspaces = QJsonArray::fromVariantList(workspaces);
        m_rig.backend.current = current.isEmpty() ? std::nullopt : std::optional<QString>(current);
    }
    // Answers of one kind (see Backend) fail with this status; 0 clears it.
    Q_INVOKABLE void fail(const QString &kind, int status) { m_rig.backend.failures.insert(kind, status); }
    // Every answer waits this long.
    Q_INVOKABLE void setDelay(int ms) { m_rig.backend.delayMs = ms; }
    // A dashboard embed link on the scripted server.
    Q_INVOKABLE QString embedLink() const { return m_rig.backend.server.url(QStringLiteral("/embed/k1")).toString(); }

    // Connects through an embed link (waits for the first refresh).
    Q_INVOKABLE bool connectEmbed()
    {
        Rig::run(store()->connect(embedLink(), QString()));
        return store()->connected();
    }
    // Browser sign-in and the refresh after it (waits for both).
    Q_INVOKABLE bool signIn()
    {
        if (!m_rig.signIn())
            return false;
        Rig::run(store()->refresh());
        return store()->connected();
    }
    // A refresh that waits for its answer.
    Q_INVOKABLE void refresh() { Rig::run(store()->refresh()); }
    // A refresh that is still loading when this returns: answers wait ms.
    Q_INVOKABLE void startSlowRefresh(int ms)
    {
        m_rig.backend.delayMs = ms;
        store()->startRefresh();
    }
    // Waits until no refresh runs, then answers come at once again.
    Q_INVOKABLE bool settle()
    {
        const bool done = QTest::qWaitFor([this] { return !store()->loading(); }, 30000);
        m_rig.backend.delayMs = 0;
        return done;
    }
    // Requests of one kind the server has seen.
    Q_INVOKABLE int requests(const QString &kind) const { return m_rig.backend.count(kind); }
    // The password the Store keeps for the link; "<none>" when none.
    Q_INVOKABLE QString storedPassword()
    {
        return m_rig.keychain.get(Store::passwordAccount).value_or(QStringLiteral("<none>"));
    }
    Q_INVOKABLE QString storedLink() const { return m_rig.defaults->string(Store::Keys::embedLink, QString()); }
    // Pins the update time the Store records.
    Q_INVOKABLE void setClock(const QDateTime &time) { m_rig.clock.time = time; }
    Q_INVOKABLE int openedUrls() const { return int(m_rig.browser.opened.size()); }

    // A sources table's data, from an object in the server's JSON shape
    // (null when it does not decode).
    Q_INVOKABLE SourcesData *makeSources(const QVariantMap &sources)
    {
        try {
            return new SourcesData(
                Payload::Sources::fromJson(QJsonObject::fromVariantMap(sources), json::Path {}), this);
        } catch (const std::exception &) {
            return nullptr;
        }
    }

    // Screenshots: the folder named by QUILLMERE_SCREENSHOTS, or empty.
    Q_INVOKABLE QString screenshotDir() const { return qEnvironmentVariable("QUILLMERE_SCREENSHOTS"); }
    // Saves item as NAME.png into the screenshot folder (nothing when unset).
    Q_INVOKABLE bool screenshot(QQuickItem *item, const QString &name)
    {
        const QString dir = screenshotDir();
        if (dir.isEmpty() || !item)
            return false;
        const QSharedPointer<QQuickItemGrabResult> grab = item->grabToImage();
        if (!grab)
            return false;
        bool ready = false;
        connect(grab.data(), &QQuickItemGrabResult::ready, this, [&ready] { ready = true; });
        if (!QTest::qWaitFor([&ready] { return ready; }, 5000))
            return false;
        return grab->saveToFile(dir + u'/' + name + QStringLiteral(".png"));
    }

    // A setting as the settings file holds it now; undefined when absent.
    Q_INVOKABLE QVariant setting(const QString &key) const
    {
        const QSettings file(m_rig.defaults->fileName(), QSettings::IniFormat);
        return file.value(key);
    }
    // The launch-at-login registration switched outside the program, and a
    // failure (non-empty) that the next switch from the program reports.
    Q_INVOKABLE void setLoginItem(bool on, const QString &failure)
    {
        m_rig.login.on = on;
        m_rig.login.failure = failure.isEmpty() ? std::nullopt : std::optional<QString>(failure);
    }
    Q_INVOKABLE bool loginItem() const { return m_rig.login.on; }

private:
    Rig m_rig;
};
