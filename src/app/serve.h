#pragma once

#include "commandline.h"

#include <QObject>

#include <functional>
#include <memory>

class MenuBarInstance;
class Store;

// The Store of this process on the real Linux services, pointed at the
// command's server when it names one. withWake: follow logind's resume signal.
Store &sharedStore(const Command &command, bool withWake);

// Becomes the running instance and runs the event loop until it ends; when
// another instance owns the name, wakes that one instead (Activate) and
// returns. The application object must exist. withWindows, when given, is
// called once the instance owns its name and serves the Store: what it
// returns lives until the loop has ended, and goes before the instance does.
using WindowSideFactory = std::function<std::unique_ptr<QObject>(MenuBarInstance &, Store &)>;
int serveInstance(const Command &command, const WindowSideFactory &withWindows = {});
