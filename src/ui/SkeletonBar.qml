import QtQuick
import QtQuick.Layouts
import QtQuick.Window
import Quillmere.Ui

// A placeholder bar that pulses while data loads: opacity between 1 and
// 0.45, easing in and out, 0.8 s each way, for as long as it is on screen.
// barWidth < 0 takes the width the layout offers.
Rectangle {
    id: bar

    property real barWidth: -1
    property real barHeight: 10
    // Whether the pulse runs: only while the bar and its window are shown.
    readonly property bool pulsing: pulse.running

    implicitWidth: barWidth >= 0 ? barWidth : 0
    implicitHeight: barHeight
    Layout.fillWidth: barWidth < 0
    Layout.preferredWidth: barWidth >= 0 ? barWidth : -1
    Layout.preferredHeight: barHeight
    Layout.alignment: Qt.AlignVCenter
    radius: 4
    color: Qt.rgba(1, 1, 1, 0.09)
    Accessible.ignored: true

    SequentialAnimation {
        id: pulse
        running: bar.visible && bar.Window.window !== null && bar.Window.window.visible
        loops: Animation.Infinite
        // Ease in and out: the standard (0.42, 0, 0.58, 1) curve.
        NumberAnimation {
            target: bar
            property: "opacity"
            from: 1
            to: 0.45
            duration: 800
            easing.type: Easing.BezierSpline
            easing.bezierCurve: [0.42, 0, 0.58, 1, 1, 1]
        }
        NumberAnimation {
            target: bar
            property: "opacity"
            from: 0.45
            to: 1
            duration: 800
            easing.type: Easing.BezierSpline
            easing.bezierCurve: [0.42, 0, 0.58, 1, 1, 1]
        }
        onRunningChanged: if (!running) bar.opacity = 1
    }
}
