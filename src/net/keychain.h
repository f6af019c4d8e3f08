#pragma once

#include <QCoro/QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

// One secret string per account name, for the embed-link password.
//
// get/set are synchronous for the Store, but a Secret Service call may wait on
// a prompt, so the secret is held in memory: the shared instance loads it once
// in the background (ready() completes when that is done, successfully or not),
// get answers from memory, and set updates memory at once and writes to the
// Secret Service in the background, in call order. Without a Secret Service the
// secret lives in this process only; it is never written to a file.
class Keychain : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Keychain() override;

    static Keychain &shared();

    virtual std::optional<QString> get(const QString &account) = 0;
    // An absent or empty value removes the item.
    virtual void set(const QString &account, const std::optional<QString> &value) = 0;
    virtual QCoro::Task<> ready() = 0;
};

// Process memory only; what the shared keychain falls back to, and a test double.
class MemoryKeychain : public Keychain {
    Q_OBJECT
public:
    using Keychain::Keychain;

    std::optional<QString> get(const QString &account) override;
    void set(const QString &account, const std::optional<QString> &value) override;
    QCoro::Task<> ready() override;

private:
    QHash<QString, QString> m_values;
};

// The Secret Service (through QtKeychain) behind the in-memory copy.
class SecretServiceKeychain : public MemoryKeychain {
    Q_OBJECT
public:
    inline static const QString service = QStringLiteral("com.velmorcraft.quillmere.menubar");

    // Starts loading the given accounts at once.
    explicit SecretServiceKeychain(const QStringList &accounts, QObject *parent = nullptr);
    ~SecretServiceKeychain() override;

    void set(const QString &account, const std::optional<QString> &value) override;
    QCoro::Task<> ready() override;

    // True once every queued write has been handed to the Secret Service and answered.
    bool idle() const { return m_pendingWrites == 0 && m_loading == 0; }
    // True when the Secret Service answered the initial load (with the item or "no item").
    bool serviceAnswered() const { return m_serviceAnswered; }
    QCoro::Task<> settled(); // completes when idle()

Q_SIGNALS:
    void loaded();
    void becameIdle();

private:
    struct Write {
        QString account;
        QString value; // empty: delete only
    };

    void startRead(const QString &account);
    void startNextWrite();
    void checkIdle();

    QSet<QString> m_touched; // set() before the load finished: the load must not override it
    QList<Write> m_writes;
    int m_loading = 0;
    int m_pendingWrites = 0;
    bool m_writing = false;
    bool m_serviceAnswered = false;
};
