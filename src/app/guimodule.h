#pragma once

#include <QCoreApplication>

// The window module (quillmere-gui.so) holds everything of the program that
// a one-shot command does not need: the Store with its network side, the
// running instance, its windows. The program loads it only to become the
// running instance, or to work out the line itself when none runs.
//
// int quillmere_gui_run(int argc, char **argv): becomes the running instance
//   (with windows when a display is reachable) and returns the exit code.
// int quillmere_line_local(int argc, char **argv): prints the line of a
//   --line command without a running instance; the application object
//   exists already.

// The names the program goes by, for settings paths and the bus.
inline void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("quillmere-menubar"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("velmorcraft.com"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
}

inline constexpr char quillmereGuiRunEntry[] = "quillmere_gui_run";
inline constexpr char quillmereLineLocalEntry[] = "quillmere_line_local";
