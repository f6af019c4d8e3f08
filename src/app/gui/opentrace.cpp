#include "opentrace.h"

#include <QQuickWindow>

#include <chrono>
#include <cstdio>

namespace opentrace {

bool enabled()
{
    static const bool on = qEnvironmentVariableIsSet("QUILLMERE_OPEN_TRACE");
    return on;
}

void mark(const char *step)
{
    if (!enabled())
        return;
    // steady_clock is CLOCK_MONOTONIC on Linux.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::fprintf(stderr, "quillmere-open %s %lld\n", step,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    std::fflush(stderr);
}

void markFirstFrame(QQuickWindow *window)
{
    if (!enabled() || !window)
        return;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [] { mark("first-frame"); },
        Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection));
}

} // namespace opentrace
