#pragma once

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// The user-defaults store: a QSettings INI file. Values are read from the file
// at every use and written through at once; a value of the wrong type reads as
// the caller's default. Nothing is written unless a setter is called.
class Defaults {
public:
    // An empty path means the program's settings file under $XDG_CONFIG_HOME.
    explicit Defaults(const QString &file = QString());
    ~Defaults();
    Defaults(const Defaults &) = delete;
    Defaults &operator=(const Defaults &) = delete;

    static Defaults &shared();

    QString fileName() const;

    bool contains(const QString &key) const;
    QString string(const QString &key, const QString &fallback) const;
    std::optional<QString> optionalString(const QString &key) const;
    qint64 integer(const QString &key, qint64 fallback) const;
    bool boolean(const QString &key, bool fallback) const;

    void setString(const QString &key, const QString &value);
    void setInteger(const QString &key, qint64 value);
    void setBoolean(const QString &key, bool value);
    void remove(const QString &key);

private:
    QVariant read(const QString &key) const;
    void write(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
};
