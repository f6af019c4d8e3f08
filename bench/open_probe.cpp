// Sends the status item's Activate to the running instance and prints the
// moment it was sent, in microseconds on the monotonic clock, for
// scripts/bench-shell.sh to set against the instance's first frame.
//   open_probe SERVICE

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return 1;
    QDBusMessage call
        = QDBusMessage::createMethodCall(QString::fromLocal8Bit(argv[1]), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    call << 0 << 0;
    const auto sent = std::chrono::steady_clock::now().time_since_epoch();
    const QDBusMessage reply = bus.call(call);
    std::printf("%lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(sent).count()));
    return reply.type() == QDBusMessage::ReplyMessage ? 0 : 1;
}
