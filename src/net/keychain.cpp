#include "net/keychain.h"

#include <QCoro/QCoroSignal>
#include <qt6keychain/keychain.h>

Keychain::~Keychain() = default;

Keychain &Keychain::shared()
{
    // QUILLMERE_KEYCHAIN=memory keeps the secret in this process only; the
    // demo runs that way so it never replaces the user's own stored password.
    if (qEnvironmentVariable("QUILLMERE_KEYCHAIN") == QLatin1StringView("memory")) {
        static MemoryKeychain memory;
        return memory;
    }
    static SecretServiceKeychain instance({QStringLiteral("embedPassword")});
    return instance;
}

// MemoryKeychain

std::optional<QString> MemoryKeychain::get(const QString &account)
{
    const auto it = m_values.constFind(account);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void MemoryKeychain::set(const QString &account, const std::optional<QString> &value)
{
    if (value && !value->isEmpty())
        m_values.insert(account, *value);
    else
        m_values.remove(account);
}

QCoro::Task<> MemoryKeychain::ready()
{
    co_return;
}

// SecretServiceKeychain

SecretServiceKeychain::SecretServiceKeychain(const QStringList &accounts, QObject *parent) : MemoryKeychain(parent)
{
    for (const QString &account : accounts)
        startRead(account);
}

SecretServiceKeychain::~SecretServiceKeychain() = default;

void SecretServiceKeychain::startRead(const QString &account)
{
    auto *job = new QKeychain::ReadPasswordJob(service, this);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a plain-text file
    job->setKey(account);
    ++m_loading;
    connect(job, &QKeychain::Job::finished, this, [this, account](QKeychain::Job *finished) {
        auto *read = static_cast<QKeychain::ReadPasswordJob *>(finished);
        const QKeychain::Error error = read->error();
        if (error == QKeychain::NoError || error == QKeychain::EntryNotFound)
            m_serviceAnswered = true;
        // A set() made while loading wins over what the service had.
        if (error == QKeychain::NoError && !m_touched.contains(account))
            MemoryKeychain::set(account, read->textData());
        --m_loading;
        if (m_loading == 0)
            Q_EMIT loaded();
        checkIdle();
    });
    job->start();
}

void SecretServiceKeychain::set(const QString &account, const std::optional<QString> &value)
{
    m_touched.insert(account);
    MemoryKeychain::set(account, value);
    const QString text = value.value_or(QString());
    m_writes.append(Write {account, text});
    ++m_pendingWrites;
    startNextWrite();
}

// Writes run one at a time in call order: delete the item, then add the new
// value when there is one. Failures are silent; memory already holds the value.
void SecretServiceKeychain::startNextWrite()
{
    if (m_writing || m_writes.isEmpty())
        return;
    m_writing = true;
    const Write next = m_writes.takeFirst();

    auto *remove = new QKeychain::DeletePasswordJob(service, this);
    remove->setAutoDelete(true);
    remove->setInsecureFallback(false);
    remove->setKey(next.account);
    connect(remove, &QKeychain::Job::finished, this, [this, next](QKeychain::Job *) {
        auto done = [this] {
            m_writing = false;
            --m_pendingWrites;
            startNextWrite();
            checkIdle();
        };
        if (next.value.isEmpty()) {
            done();
            return;
        }
        auto *write = new QKeychain::WritePasswordJob(service, this);
        write->setAutoDelete(true);
        write->setInsecureFallback(false);
        write->setKey(next.account);
        write->setTextData(next.value);
        connect(write, &QKeychain::Job::finished, this, [done](QKeychain::Job *) { done(); });
        write->start();
    });
    remove->start();
}

void SecretServiceKeychain::checkIdle()
{
    if (idle())
        Q_EMIT becameIdle();
}

QCoro::Task<> SecretServiceKeychain::ready()
{
    if (m_loading > 0)
        co_await qCoro(this, &SecretServiceKeychain::loaded);
}

QCoro::Task<> SecretServiceKeychain::settled()
{
    while (!idle())
        co_await qCoro(this, &SecretServiceKeychain::becameIdle);
}
