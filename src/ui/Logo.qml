import QtQuick

// The product mark of the view headers: images/Logo.svg fitted into 22 by 16.
Item {
    implicitWidth: 22
    implicitHeight: 16

    Image {
        anchors.fill: parent
        source: "images/Logo.svg"
        sourceSize: Qt.size(44, 32)
        fillMode: Image.PreserveAspectFit
        horizontalAlignment: Image.AlignHCenter
        verticalAlignment: Image.AlignVCenter
        smooth: true
        Accessible.ignored: true
    }

    Accessible.role: Accessible.Graphic
    Accessible.name: "Quillmere"
}
