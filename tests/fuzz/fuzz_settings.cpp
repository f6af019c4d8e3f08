// The settings file: the input is settings.ini as found at start. The Store
// reads every setting from it, derives what it shows, and restores itself
// (the server, the embed link, the refresh timer) against a server that
// refuses every request.

#include "fuzzing.h"

namespace {

fuzz::StoreParts *parts;
Store *store;
QString file;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    file = fuzz::home() + QStringLiteral("/config/quillmere-menubar/settings.ini");
    QDir().mkpath(QFileInfo(file).absolutePath());
    parts = new fuzz::StoreParts(file);
    parts->network.handler = [](const QNetworkRequest &, const QByteArray &) {
        return fuzz::Answer {401, R"({"message":"Embed link refused"})"};
    };
    store = new Store(parts->services());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::writeFile(file, QByteArrayView(data, qsizetype(size)));
    store->serverBase();
    store->title();
    store->connected();
    store->period();
    store->workspaceId();
    store->lineTemplate();
    store->effectiveTemplate();
    store->effectiveAccounts();
    store->accountsLabel();
    store->selectedAccounts();
    store->selectedPlatforms();
    store->showIcon();
    store->maxLength();
    store->lineIndex();
    store->refreshMinutes();
    SnapshotClient(&parts->network, &parts->defaults, parts->snapshots.directory()).restoreScope();
    fuzz::wait(store->restore());
    store->title();
    store->timer()->stop();
    fuzz::settle();
    return 0;
}
