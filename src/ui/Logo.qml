import QtQuick
import Quillmere.Ui

// The product mark of the view headers: images/Logo.svg fitted into 22 by 16.
Image {
    implicitWidth: 22
    implicitHeight: 16
    width: 22
    height: 16
    source: "images/Logo.svg"
    sourceSize: Qt.size(44, 32)
    fillMode: Image.PreserveAspectFit
    horizontalAlignment: Image.AlignHCenter
    verticalAlignment: Image.AlignVCenter
    smooth: true

    Accessible.role: Accessible.Graphic
    Accessible.name: "Quillmere"
}
