#include "platform/xdgbrowser.h"

#include <QCoro/QCoroProcess>
#include <QProcess>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

XdgBrowser::DesktopOpener desktopOpener = nullptr;

// Runs xdg-open on address. It ends with a failure status when it finds no
// way to open the address; while it runs, a browser it started in the
// foreground is running too, and is left to run.
QCoro::Task<bool> runXdgOpen(QString address)
{
    auto process = std::make_unique<QProcess>();
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(u"xdg-open"_s, {address});
    // Not a wait on QProcess::stateChanged: a private signal, whose hidden
    // argument a coroutine's signal wait binds to a null reference.
    co_await qCoro(process.get()).waitForFinished(std::chrono::milliseconds(XdgBrowser::openerPatience));
    if (process->state() == QProcess::NotRunning) {
        co_return process->error() != QProcess::FailedToStart && process->exitStatus() == QProcess::NormalExit
            && process->exitCode() == 0;
    }
    // Still running: the process object goes once the program has ended,
    // however long that takes, so that the browser is never killed with it.
    QProcess *running = process.release();
    QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
    co_return true;
}

} // namespace

void XdgBrowser::setDesktopOpener(DesktopOpener opener)
{
    desktopOpener = opener;
}

QString XdgBrowser::overrideProgram()
{
    return qEnvironmentVariable("QUILLMERE_BROWSER");
}

bool XdgBrowser::isOpenable(const QUrl &url)
{
    if (!url.isValid() || url.isRelative())
        return false;
    // xdg-open takes "--help" and friends as options; an absolute URL starts
    // with its scheme, so this is only a guard against odd encodings.
    return !url.toString(QUrl::FullyEncoded).startsWith(u'-');
}

QCoro::Task<bool> XdgBrowser::open(const QUrl &url)
{
    if (!isOpenable(url))
        co_return false;
    const QString address = url.toString(QUrl::FullyEncoded);
    if (const QString program = overrideProgram(); !program.isEmpty())
        co_return QProcess::startDetached(program, {address});
    if (desktopOpener && desktopOpener(url))
        co_return true;
    co_return co_await runXdgOpen(address);
}
