import QtQuick

// One of our monochrome symbols (symbols/NAME.svg), tinted with color and
// drawn to fit a size x size box. Decorative unless given a name.
Image {
    id: symbol

    property string name
    property color color: Theme.foreground
    property real size: 12

    width: size
    height: size
    sourceSize: Qt.size(Math.ceil(size * 2), Math.ceil(size * 2))
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: name.length > 0 ? "image://symbol/" + name + "/" + symbol.color.toString().substring(1) : ""
    Accessible.ignored: true
}
