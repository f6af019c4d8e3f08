import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// The heading of a section in a PopoverMenu: a small muted title that cannot
// be chosen; the items under it belong to it.
MenuItem {
    id: section

    enabled: false
    implicitWidth: leftPadding + implicitContentWidth + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    leftPadding: 12
    rightPadding: 12
    topPadding: 4
    bottomPadding: 2
    font.pixelSize: 10
    font.weight: Font.DemiBold
    indicator: null
    arrow: null

    contentItem: Text {
        text: section.text
        font: section.font
        color: Theme.muted
        elide: Text.ElideRight
        Accessible.ignored: true
    }
    background: null

    Accessible.role: Accessible.StaticText
    Accessible.name: section.text
}
