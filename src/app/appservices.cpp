#include "appservices.h"

#include "net/api.h"
#include "net/keychain.h"
#include "net/snapshotclient.h"
#include "platform/autostartloginitem.h"
#include "platform/defaults.h"
#include "platform/logindwakemonitor.h"
#include "platform/systemclock.h"
#include "platform/xdgbrowser.h"
#include "state/store.h"

void installSharedServices(bool withWake)
{
    // These live until the process ends, like the Store that uses them.
    static XdgBrowser browser;
    static SystemClock clock;
    static AutostartLoginItem loginItem;
    static LogindWakeMonitor *wake = withWake ? new LogindWakeMonitor() : nullptr;

    Store::Services services;
    services.defaults = &Defaults::shared();
    services.api = &API::shared();
    services.snapshots = &SnapshotClient::shared();
    services.keychain = &Keychain::shared();
    services.browser = &browser;
    services.clock = &clock;
    services.wake = wake;
    services.loginItem = &loginItem;
    Store::setSharedServices(services);
}
