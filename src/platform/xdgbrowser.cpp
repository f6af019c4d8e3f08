#include "platform/xdgbrowser.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace {
XdgBrowser::DesktopOpener desktopOpener = nullptr;
}

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

void XdgBrowser::open(const QUrl &url)
{
    if (!isOpenable(url))
        return;
    const QString address = url.toString(QUrl::FullyEncoded);
    if (const QString program = overrideProgram(); !program.isEmpty()) {
        QProcess::startDetached(program, {address});
        return;
    }
    if (desktopOpener) {
        desktopOpener(url);
        return;
    }
    QProcess::startDetached(u"xdg-open"_s, {address});
}
