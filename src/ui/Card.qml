import QtQuick
import QtQuick.Templates as T

// A card: its contentItem with 12 of padding on every side, on a rounded
// Theme.card fill with a 1-pixel Theme.border outline. The card's implicit
// size is its content's plus the padding.
//
//     Card { contentItem: ColumnLayout { ... } }
T.Control {
    padding: 12
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding

    background: Rectangle {
        radius: 12
        color: Theme.card
        border.color: Theme.border
        border.width: 1
    }
}
