// The baseline of an open popover: a bare QQuickView on the same scene graph
// backend showing a Rectangle with two Texts and a Button. With
// QUILLMERE_FIRST_FRAME set it prints the moment its first frame was shown
// (microseconds on the monotonic clock) and ends, for start-up timing.

#include <QDir>
#include <QGuiApplication>
#include <QQuickView>
#include <QTemporaryFile>

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/baseline-XXXXXX.qml"));
    if (!file.open())
        return 1;
    file.write(R"(import QtQuick
import QtQuick.Controls.Basic
Rectangle {
    width: 400; height: 300; color: "#0a0a0a"
    Column {
        anchors.centerIn: parent; spacing: 8
        Text { text: "Quillmere"; color: "white" }
        Text { text: "$2.4k ($310/8) 3.2x"; color: "white" }
        Button { text: "Refresh" }
    }
}
)");
    file.close();
    QQuickView view;
    if (qEnvironmentVariableIsSet("QUILLMERE_FIRST_FRAME")) {
        QObject::connect(
            &view, &QQuickWindow::frameSwapped, &app,
            [] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("%lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
                std::fflush(stdout);
                QCoreApplication::quit();
            },
            Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection));
    }
    view.setSource(QUrl::fromLocalFile(file.fileName()));
    view.show();
    return app.exec();
}
