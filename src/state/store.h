#pragma once

#include "model/records.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

#include <exception>
#include <optional>

class API;
class Browser;
class Clock;
class Defaults;
class Keychain;
class LoginItem;
class QTimer;
class SnapshotClient;
class WakeMonitor;

// The application's one state object: what the menu-bar line and the popover
// show, the persisted settings, the connection, the refresh timer and every
// operation the views call. Everything runs on the main thread. No operation
// throws; a failure ends as one readable message in error().
//
// Observable changes are announced twice: objectWillChange() before and
// changed() after, the latter for QML bindings and the D-Bus line property.
class Store : public QObject {
    Q_OBJECT

    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(bool connected READ connected NOTIFY changed)
    Q_PROPERTY(bool signedIn READ signedIn NOTIFY changed)
    Q_PROPERTY(bool restoring READ restoring NOTIFY changed)
    Q_PROPERTY(bool loading READ loading NOTIFY changed)
    Q_PROPERTY(QString error READ errorText NOTIFY changed)
    Q_PROPERTY(bool hasError READ hasError NOTIFY changed)
    Q_PROPERTY(QDateTime updatedAt READ updatedAtTime NOTIFY changed)
    Q_PROPERTY(QStringList lines READ lines NOTIFY changed)
    Q_PROPERTY(bool hasPayload READ hasPayload NOTIFY changed)
    Q_PROPERTY(QString userEmail READ userEmail NOTIFY changed)
    Q_PROPERTY(QVariantList workspaces READ workspaceList NOTIFY changed)
    Q_PROPERTY(QString activeWorkspaceId READ activeWorkspaceIdText NOTIFY changed)
    Q_PROPERTY(QVariantList accounts READ accountList NOTIFY changed)
    Q_PROPERTY(QString rejectedLink READ rejectedLinkText NOTIFY changed)
    Q_PROPERTY(QString timeframe READ timeframeText WRITE setTimeframeText NOTIFY changed)

    Q_PROPERTY(QVariantList workspaceOptions READ workspaceOptionList NOTIFY changed)
    Q_PROPERTY(QVariantList platformGroups READ platformGroupList NOTIFY changed)
    Q_PROPERTY(QString effectiveAccounts READ effectiveAccounts NOTIFY changed)
    Q_PROPERTY(QString accountsLabel READ accountsLabel NOTIFY changed)
    Q_PROPERTY(QStringList selectedAccounts READ selectedAccountList NOTIFY changed)
    Q_PROPERTY(QStringList selectedPlatforms READ selectedPlatformList NOTIFY changed)
    Q_PROPERTY(QVariantList lineTemplates READ lineTemplateList CONSTANT)
    Q_PROPERTY(QVariantList periods READ periodList CONSTANT)

    Q_PROPERTY(QString serverURL READ serverURL WRITE setServerURL NOTIFY changed)
    Q_PROPERTY(QString embedLink READ embedLink WRITE setEmbedLink NOTIFY changed)
    Q_PROPERTY(QString workspaceId READ workspaceId WRITE setWorkspaceId NOTIFY changed)
    Q_PROPERTY(QString period READ period WRITE setPeriod NOTIFY changed)
    Q_PROPERTY(QString accountIds READ accountIds WRITE setAccountIds NOTIFY changed)
    Q_PROPERTY(QString platformIds READ platformIds WRITE setPlatformIds NOTIFY changed)
    Q_PROPERTY(QString lineTemplate READ lineTemplate WRITE setLineTemplate NOTIFY changed)
    Q_PROPERTY(qint64 refreshMinutes READ refreshMinutes WRITE setRefreshMinutes NOTIFY changed)
    Q_PROPERTY(qint64 lineIndex READ lineIndex WRITE setLineIndex NOTIFY changed)
    Q_PROPERTY(qint64 maxLength READ maxLength WRITE setMaxLength NOTIFY changed)
    Q_PROPERTY(bool showIcon READ showIcon WRITE setShowIcon NOTIFY changed)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY changed)

public:
    struct Services {
        Defaults *defaults = nullptr;
        API *api = nullptr;
        SnapshotClient *snapshots = nullptr;
        Keychain *keychain = nullptr;
        Browser *browser = nullptr;
        Clock *clock = nullptr;
        WakeMonitor *wake = nullptr;
        LoginItem *loginItem = nullptr;
    };

    // A row of the menu-bar line presets. templ is what goes to the server;
    // absent leaves the choice to the server.
    struct LineTemplate {
        QString id;
        QString label;
        QString sample;
        std::optional<QString> templ;
    };
    struct PeriodChoice {
        QString key;
        QString label;
    };
    struct PlatformGroup {
        QString id;
        QString label;
        QList<AdAccount> accounts;
    };
    struct WorkspaceOption {
        QString id;
        QString name;
    };

    // Settings keys in the user-defaults store.
    struct Keys {
        static inline const QString serverURL = QStringLiteral("serverURL");
        static inline const QString embedLink = QStringLiteral("embedLink");
        static inline const QString workspaceId = QStringLiteral("workspaceId");
        static inline const QString period = QStringLiteral("period");
        static inline const QString accountIds = QStringLiteral("accountIds");
        static inline const QString platformIds = QStringLiteral("platformIds");
        static inline const QString lineTemplate = QStringLiteral("lineTemplate");
        static inline const QString refreshMinutes = QStringLiteral("refreshMinutes");
        static inline const QString lineIndex = QStringLiteral("lineIndex");
        static inline const QString maxLength = QStringLiteral("maxLength");
        static inline const QString showIcon = QStringLiteral("showIcon");
    };
    static inline const QString passwordAccount = QStringLiteral("embedPassword");
    static inline const QString sessionExpiredMessage = QStringLiteral("Session expired. Sign in again.");
    static inline const QString notAnEmbedLinkMessage = QStringLiteral("Paste a dashboard embed link (…/embed/…).");
    static constexpr qint64 staleAfterMs = 30'000;

    // Starts restore() and listens to the wake monitor.
    explicit Store(Services services, QObject *parent = nullptr);
    ~Store() override;

    // The program's instance, on the services given to setSharedServices (which
    // must be called before the first use).
    static Store &shared();
    static void setSharedServices(Services services);

    static QUrl defaultServerOrigin();
    // serverURL when it is an absolute http(s) address with a host, else the
    // default origin; a process-lifetime override wins over both.
    QUrl serverBase() const;
    void overrideServer(const QUrl &origin);

    static const QList<LineTemplate> &lineTemplates();
    static const QList<PeriodChoice> &periods();

    // Observable state.
    const std::optional<User> &user() const { return m_user; }
    const QList<Workspace> &workspaces() const { return m_workspaces; }
    const std::optional<QString> &activeWorkspaceId() const { return m_activeWorkspaceId; }
    const std::optional<Payload> &payload() const { return m_payload; }
    const std::optional<QString> &error() const { return m_error; }
    const std::optional<QDateTime> &updatedAt() const { return m_updatedAt; }
    bool loading() const { return m_loading; }
    const std::optional<QString> &timeframe() const { return m_timeframe; }
    void setTimeframe(const std::optional<QString> &timeframe);
    const QList<AdAccount> &accounts() const { return m_accounts; }
    bool restoring() const { return m_restoring; }
    const std::optional<QString> &rejectedLink() const { return m_rejectedLink; }

    // Persisted settings, read from the defaults store at every use.
    QString serverURL() const;
    QString embedLink() const;
    QString workspaceId() const;
    QString period() const;
    QString accountIds() const;
    QString platformIds() const;
    QString lineTemplate() const;
    qint64 refreshMinutes() const;
    qint64 lineIndex() const;
    qint64 maxLength() const;
    bool showIcon() const;

    void setServerURL(const QString &value);
    void setEmbedLink(const QString &value);
    void setWorkspaceId(const QString &value); // refreshes when the value changes
    void setPeriod(const QString &value);
    void setAccountIds(const QString &value);
    void setPlatformIds(const QString &value);
    void setLineTemplate(const QString &value);
    void setRefreshMinutes(qint64 value); // reschedules the timer
    void setLineIndex(qint64 value);
    void setMaxLength(qint64 value);
    void setShowIcon(bool value);

    // Derived reads.
    bool connected() const;
    bool signedIn() const { return m_user.has_value(); }
    QStringList lines() const;
    QSet<QString> selectedAccounts() const;
    QSet<QString> selectedPlatforms() const;
    std::optional<QString> effectiveTemplate() const;
    QString title() const;
    QList<PlatformGroup> platformGroups() const;
    QString effectiveAccounts() const;
    QString accountsLabel() const;
    QList<WorkspaceOption> workspaceOptions() const;
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);

    // The same rules as pure functions, for the reads above and for tests.
    static QStringList linesOf(const std::optional<Payload> &payload);
    static QSet<QString> idSet(const QString &joined);
    static QString joinIds(const QSet<QString> &ids); // ascending by code point, comma-joined
    static std::optional<QString> templateFor(const QString &lineTemplateId);
    struct LineInputs {
        bool connected = false;
        bool restoring = false;
        QStringList lines;
        bool hasError = false;
        bool loading = false;
        qint64 lineIndex = 0;
        qint64 maxLength = 40;
    };
    static QString titleFor(const LineInputs &in);
    static int graphemeCount(const QString &text);
    static QList<PlatformGroup> groupsOf(const QList<AdAccount> &accounts);
    static QString effectiveAccountsOf(const QList<AdAccount> &accounts, const QSet<QString> &selectedAccounts,
        const QSet<QString> &selectedPlatforms);
    static QString accountsLabelOf(const QList<AdAccount> &accounts, const QSet<QString> &selectedAccounts,
        const QSet<QString> &selectedPlatforms);
    static QList<WorkspaceOption> workspaceOptionsOf(
        const QList<Workspace> &workspaces, const std::optional<QString> &activeWorkspaceId);
    // The embed widget address of a pasted link, or nothing when it is not one.
    static std::optional<QUrl> widgetURL(const QString &link);

    // Connection lifecycle.
    QCoro::Task<> restore();
    // Opens the sign-in page. A browser that cannot be opened is no error of
    // the Store's; the task ends with the page's address and whether
    // something took it, for a caller that can tell the user.
    struct SignInPage {
        QUrl address;
        bool opened = false;
    };
    QCoro::Task<SignInPage> signIn();
    QCoro::Task<> handleCallback(QUrl url);
    QCoro::Task<> connect(QString link, QString password);
    QCoro::Task<> disconnect();

    // Refresh cycle.
    QCoro::Task<> refresh();
    QCoro::Task<> refreshIfStale();

    // Scope and template commands.
    QCoro::Task<> toggleAccount(std::optional<QString> id);
    QCoro::Task<> togglePlatform(QString key);
    QCoro::Task<> selectLineTemplate(QString id);
    void openDashboard();

    // The refresh timer (always the same object; inactive when no timer runs).
    QTimer *timer() const { return m_timer; }

    // QML-facing forms of the reads above.
    QString errorText() const { return m_error.value_or(QString()); }
    bool hasError() const { return m_error.has_value(); }
    QDateTime updatedAtTime() const { return m_updatedAt.value_or(QDateTime()); }
    bool hasPayload() const { return m_payload.has_value(); }
    QString userEmail() const { return m_user ? m_user->email : QString(); }
    QString activeWorkspaceIdText() const { return m_activeWorkspaceId.value_or(QString()); }
    QString rejectedLinkText() const { return m_rejectedLink.value_or(QString()); }
    QString timeframeText() const { return m_timeframe.value_or(QString()); }
    void setTimeframeText(const QString &timeframe);
    QVariantList workspaceList() const;
    QVariantList accountList() const;
    QVariantList workspaceOptionList() const;
    QVariantList platformGroupList() const;
    static QVariantList lineTemplateList();
    static QVariantList periodList();
    QStringList selectedAccountList() const; // ascending, as stored
    QStringList selectedPlatformList() const;

    // QML entry points for the coroutine operations; they run in the background.
    Q_INVOKABLE void startRefresh();
    Q_INVOKABLE void startRefreshIfStale();
    Q_INVOKABLE void startSignIn() { signIn(); }
    Q_INVOKABLE void startConnect(const QString &link, const QString &password);
    Q_INVOKABLE void startDisconnect();
    Q_INVOKABLE void startToggleAccount(const QString &id); // the empty string means all accounts
    Q_INVOKABLE void startTogglePlatform(const QString &key);
    Q_INVOKABLE void startSelectLineTemplate(const QString &id);
    Q_INVOKABLE void startOpenDashboard() { openDashboard(); }

    // Reads the launch-at-login registration again and notifies when it was
    // changed outside the program since it was last read (the settings views
    // call it when they come on screen).
    Q_INVOKABLE void recheckLaunchAtLogin();

Q_SIGNALS:
    void objectWillChange();
    void changed();

private:
    struct Pending {
        QString verifier;
        QString state;
    };

    template<class T> void assign(T &field, T value)
    {
        Q_EMIT objectWillChange();
        field = std::move(value);
        Q_EMIT changed();
    }
    void writeString(const QString &key, const QString &value);
    void writeInteger(const QString &key, qint64 value);
    void writeBoolean(const QString &key, bool value);

    void schedule();
    void keepAccounts(const QList<AdAccount> &list);
    void applyPayload(Payload payload);
    void handleError(const std::exception_ptr &failure);
    QCoro::Task<> settle(QCoro::Task<Payload> request);
    QCoro::Task<> refreshEmbed(QUrl widget);
    QCoro::Task<> refreshSignedIn();

    Services m_services;
    std::optional<QUrl> m_serverOverride;

    std::optional<User> m_user;
    QList<Workspace> m_workspaces;
    std::optional<QString> m_activeWorkspaceId;
    std::optional<Payload> m_payload;
    std::optional<QString> m_error;
    std::optional<QDateTime> m_updatedAt;
    bool m_loading = false;
    std::optional<QString> m_timeframe;
    QList<AdAccount> m_accounts;
    bool m_restoring = true;
    std::optional<QString> m_rejectedLink;

    QTimer *m_timer = nullptr;
    std::optional<Pending> m_pending;
    mutable std::optional<bool> m_launchAtLoginSeen; // the registration as last read
};

// The readable text of a caught failure: APIError and our other errors give
// their message, any other exception its description.
QString messageOf(const std::exception_ptr &failure);
