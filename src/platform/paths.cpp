#include "platform/paths.h"

#include <QDir>
#include <QFile>

namespace paths {

static QString base(const char *variable, const char *fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1StringView(fallback);
}

QString configHome()
{
    return base("XDG_CONFIG_HOME", ".config");
}
QString dataHome()
{
    return base("XDG_DATA_HOME", ".local/share");
}
QString cacheHome()
{
    return base("XDG_CACHE_HOME", ".cache");
}

static QString inApp(const QString &root, const char *leaf)
{
    return root + QLatin1Char('/') + QLatin1StringView(appName) + QLatin1Char('/') + QLatin1StringView(leaf);
}

QString settingsFile()
{
    return inApp(configHome(), "settings.ini");
}
QString cookieFile()
{
    return inApp(dataHome(), "cookies");
}
QString snapshotsDir()
{
    return inApp(cacheHome(), "snapshots");
}

QString autostartFile()
{
    return configHome() + QStringLiteral("/autostart/") + QLatin1StringView(appName) + QStringLiteral(".desktop");
}

bool makePrivateDir(const QString &dir)
{
    if (!QDir().mkpath(dir))
        return false;
    return QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace paths
