// The idle baseline of the running instance: the same application class and
// Qt libraries, one network manager that has made one request, and a
// session-bus connection; then it waits, doing nothing.
//   baseline_app URL

#include <QDBusConnection>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSvgRenderer>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    // Referenced so that the same libraries stay linked and loaded.
    volatile auto keep = &QQmlEngine::staticMetaObject;
    volatile auto keepSvg = &QSvgRenderer::staticMetaObject;
    volatile auto keepQuick = &QQuickWindow::staticMetaObject;
    (void)keep;
    (void)keepSvg;
    (void)keepQuick;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QNetworkAccessManager nam;
    if (argc > 1) {
        QNetworkReply *reply = nam.get(QNetworkRequest(QUrl(QString::fromLocal8Bit(argv[1]))));
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    }
    return app.exec();
}
