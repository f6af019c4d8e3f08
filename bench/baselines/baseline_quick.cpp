// The baseline of an open popover: a bare QQuickView on the same scene graph
// backend showing a Rectangle with two Texts and a Button.

#include <QDir>
#include <QGuiApplication>
#include <QQuickView>
#include <QTemporaryFile>

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
    view.setSource(QUrl::fromLocalFile(file.fileName()));
    view.show();
    return app.exec();
}
