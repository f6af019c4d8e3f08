#include "nextframe.h"

#include <QQuickWindow>
#include <QTimer>

#include <memory>

void afterNextFrame(QQuickWindow *window, std::function<void()> work, std::chrono::milliseconds fallback)
{
    if (!window)
        return;
    // Whichever comes first runs the work; the other finds it gone.
    auto pending = std::make_shared<std::function<void()>>(std::move(work));
    auto run = [pending] {
        if (*pending)
            std::exchange(*pending, nullptr)();
    };
    QObject::connect(window, &QQuickWindow::frameSwapped, window, run,
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    QTimer::singleShot(fallback, window, run);
}
