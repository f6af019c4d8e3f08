#pragma once

#include "platform/services.h"

#include <QString>

// Opens addresses in the user's default browser: through QDesktopServices when a
// GUI application runs, else through xdg-open. The environment variable
// QUILLMERE_BROWSER, when set, names a program that is started with the address
// as its only argument instead (scripts and tests use it to see what was opened).
class XdgBrowser : public Browser {
public:
    void open(const QUrl &url) override;

    // The program QUILLMERE_BROWSER names, or an empty string.
    static QString overrideProgram();
    // Whether url is something a browser may be handed: an absolute address
    // that cannot be mistaken for a command-line option.
    static bool isOpenable(const QUrl &url);
};
