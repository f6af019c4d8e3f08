#include "platform/defaults.h"

#include "platform/paths.h"

#include <QFileInfo>
#include <QSettings>

#include <optional>

Defaults::Defaults(const QString &file)
    : m_settings(std::make_unique<QSettings>(file.isEmpty() ? paths::settingsFile() : file, QSettings::IniFormat))
{ }

Defaults::~Defaults() = default;

Defaults &Defaults::shared()
{
    static Defaults instance;
    return instance;
}

QString Defaults::fileName() const
{
    return m_settings->fileName();
}

QVariant Defaults::read(const QString &key) const
{
    // Pick up changes other processes (or a hand edit) made to the file.
    m_settings->sync();
    return m_settings->value(key);
}

void Defaults::write(const QString &key, const QVariant &value)
{
    // QSettings creates the file's folder itself; keep it private to the user.
    paths::makePrivateDir(QFileInfo(m_settings->fileName()).absolutePath());
    m_settings->setValue(key, value);
    m_settings->sync();
}

bool Defaults::contains(const QString &key) const
{
    m_settings->sync();
    return m_settings->contains(key);
}

QString Defaults::string(const QString &key, const QString &fallback) const
{
    return optionalString(key).value_or(fallback);
}

std::optional<QString> Defaults::optionalString(const QString &key) const
{
    const QVariant v = read(key);
    if (!v.isValid())
        return std::nullopt;
    // INI has no types: a value written as "a, b" comes back as a list.
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    if (!v.canConvert<QString>())
        return std::nullopt;
    return v.toString();
}

qint64 Defaults::integer(const QString &key, qint64 fallback) const
{
    const QVariant v = read(key);
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    return ok ? n : fallback;
}

bool Defaults::boolean(const QString &key, bool fallback) const
{
    const QVariant v = read(key);
    if (!v.isValid())
        return fallback;
    const QString s = v.toString().trimmed().toLower();
    if (s == QLatin1StringView("true") || s == QLatin1StringView("1"))
        return true;
    if (s == QLatin1StringView("false") || s == QLatin1StringView("0"))
        return false;
    return fallback;
}

void Defaults::setString(const QString &key, const QString &value)
{
    write(key, value);
}
void Defaults::setInteger(const QString &key, qint64 value)
{
    write(key, value);
}
void Defaults::setBoolean(const QString &key, bool value)
{
    write(key, value);
}

void Defaults::remove(const QString &key)
{
    m_settings->remove(key);
    m_settings->sync();
}
