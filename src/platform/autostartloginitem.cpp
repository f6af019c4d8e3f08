#include "platform/autostartloginitem.h"

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

AutostartLoginItem::AutostartLoginItem(const QString &file, const QString &command)
    : m_file(file.isEmpty() ? paths::autostartFile() : file), m_command(command)
{
    if (m_command.isEmpty() && QCoreApplication::instance()) {
        m_command = commandFor(QCoreApplication::applicationFilePath(),
            QStandardPaths::findExecutable(QString::fromLatin1(paths::appName)));
    }
    if (m_command.isEmpty())
        m_command = QString::fromLatin1(paths::appName);
}

QString AutostartLoginItem::commandFor(const QString &program, const QString &onPath)
{
    // An installed copy is started by name, as the menu entry starts it, so
    // the entry keeps working when an upgrade moves or replaces the file; a
    // build tree or a copy outside PATH can only be started by its path.
    if (!program.isEmpty() && !onPath.isEmpty()) {
        const QString self = QFileInfo(program).canonicalFilePath();
        if (!self.isEmpty() && self == QFileInfo(onPath).canonicalFilePath())
            return QString::fromLatin1(paths::appName);
    }
    return program;
}

bool AutostartLoginItem::entryEnables(const QByteArray &contents)
{
    bool inMainGroup = false;
    bool enables = true;
    for (const QByteArray &raw : contents.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Hidden" && value == "true")
            enables = false;
        else if (key == "X-GNOME-Autostart-enabled" && value == "false")
            enables = false;
    }
    return enables;
}

bool AutostartLoginItem::enabled() const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return entryEnables(file.readAll());
}

QString AutostartLoginItem::quoteExec(const QString &program)
{
    // Desktop entry rules: arguments with reserved characters are quoted, and
    // inside quotes ", `, $ and \ are escaped with a backslash; a literal % is
    // written %% in any case.
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    QString escaped = program;
    escaped.replace(u'%', u"%%"_s);
    bool needsQuotes = false;
    for (QChar c : escaped)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (QChar c : escaped) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

QByteArray AutostartLoginItem::entry() const
{
    QString text = u"[Desktop Entry]\n"
                   "Type=Application\n"
                   "Name=Quillmere Menu Bar\n"
                   "Comment=Advertising figures in the panel\n"
                   "Icon=quillmere-menubar\n"
                   "Exec="_s
        + quoteExec(m_command)
        + u"\n"
          "Terminal=false\n"
          "X-GNOME-Autostart-enabled=true\n"_s;
    return text.toUtf8();
}

std::optional<QString> AutostartLoginItem::setEnabled(bool enabled)
{
    const QString file = QDir::toNativeSeparators(m_file);
    if (!enabled) {
        QFile entryFile(m_file);
        if (!entryFile.exists())
            return std::nullopt;
        if (!entryFile.remove())
            return u"Could not remove %1: %2"_s.arg(file, entryFile.errorString());
        return std::nullopt;
    }

    const QString folder = QFileInfo(m_file).absolutePath();
    if (!QDir().mkpath(folder)) {
        return u"Could not write %1: the folder %2 could not be created"_s.arg(file, QDir::toNativeSeparators(folder));
    }
    QSaveFile save(m_file);
    if (!save.open(QIODevice::WriteOnly))
        return u"Could not write %1: %2"_s.arg(file, save.errorString());
    const QByteArray contents = entry();
    if (save.write(contents) != contents.size()) {
        const QString reason = save.errorString();
        save.cancelWriting();
        return u"Could not write %1: %2"_s.arg(file, reason);
    }
    if (!save.commit())
        return u"Could not write %1: %2"_s.arg(file, save.errorString());
    return std::nullopt;
}
