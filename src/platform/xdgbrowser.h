#pragma once

#include "platform/services.h"

#include <QString>

#include <chrono>

// Opens addresses in the user's default browser: through the desktop's own
// opener when the window side has installed one (QDesktopServices, which also
// speaks to the desktop portal), and through xdg-open when there is none or
// it cannot open the address (a platform plugin without URL services). The
// core stays free of Qt GUI, so one-shot commands do not load it. The
// environment variable QUILLMERE_BROWSER, when set, names a program that is
// started with the address as its only argument instead (scripts and tests
// use it to see what was opened).
class XdgBrowser : public Browser {
public:
    // How long xdg-open may take to report a failure. One still running then
    // has started a browser that it waits for, which counts as opened.
    static constexpr std::chrono::milliseconds openerPatience = std::chrono::seconds(5);

    QCoro::Task<bool> open(const QUrl &url) override;

    // Returns whether the desktop took the address.
    using DesktopOpener = bool (*)(const QUrl &url);
    static void setDesktopOpener(DesktopOpener opener);

    // The program QUILLMERE_BROWSER names, or an empty string.
    static QString overrideProgram();
    // Whether url is something a browser may be handed: an absolute address
    // that cannot be mistaken for a command-line option.
    static bool isOpenable(const QUrl &url);
};
