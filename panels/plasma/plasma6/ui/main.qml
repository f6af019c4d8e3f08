// The panel widget on Plasma 6: the icon and the line. From Plasma 6.4 on the
// line comes from the instance's D-Bus properties (DBusLine.qml); before, from
// the blocking command of the executable engine. Commands do the rest.
import QtQuick
import QtQuick.Layouts
import org.kde.plasma.plasmoid
import org.kde.plasma.core as PlasmaCore
import org.kde.plasma.components as PlasmaComponents3
import org.kde.plasma.plasma5support as P5Support
import org.kde.kirigami as Kirigami
import "../code/panelline.js" as PanelLine

PlasmoidItem {
    id: root

    property var commandLine: PanelLine.notRunning()
    property int failures: 0
    property string following: ""
    readonly property var line: dbusLine.status === Loader.Ready ? dbusLine.item.line : commandLine
    readonly property bool vertical: Plasmoid.formFactor === PlasmaCore.Types.Vertical
    readonly property var shown: PanelLine.presentation(line, vertical)

    preferredRepresentation: compactRepresentation
    toolTipMainText: "Quillmere"
    toolTipSubText: shown.tooltip
    compactRepresentation: MouseArea {
        id: button
        objectName: "quillmere-panel-button"
        Layout.minimumWidth: root.vertical ? -1 : content.implicitWidth
        Layout.preferredWidth: Layout.minimumWidth
        Layout.minimumHeight: root.vertical ? content.implicitHeight : -1
        acceptedButtons: Qt.LeftButton | Qt.MiddleButton
        hoverEnabled: true
        activeFocusOnTab: true
        Accessible.role: Accessible.Button
        Accessible.name: "Quillmere"
        Accessible.description: root.shown.tooltip
        Accessible.onPressAction: root.togglePopover(button)
        Keys.onPressed: event => {
            if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                root.togglePopover(button);
                event.accepted = true;
            }
        }
        onClicked: mouse => {
            if (mouse.button === Qt.MiddleButton)
                root.run(PanelLine.actionCommand("refresh"));
            else
                root.togglePopover(button);
        }

        RowLayout {
            id: content
            anchors.centerIn: parent
            spacing: Kirigami.Units.smallSpacing
            Kirigami.Icon {
                visible: root.shown.icon
                source: "quillmere-menubar-symbolic"
                Layout.preferredWidth: Kirigami.Units.iconSizes.smallMedium
                Layout.preferredHeight: Kirigami.Units.iconSizes.smallMedium
                Layout.alignment: Qt.AlignVCenter
            }
            PlasmaComponents3.Label {
                visible: text !== ""
                text: root.shown.text
                textFormat: Text.PlainText
                maximumLineCount: 1
                wrapMode: Text.NoWrap
                Layout.alignment: Qt.AlignVCenter
            }
        }
    }

    Plasmoid.contextualActions: [
        PlasmaCore.Action {
            text: PanelLine.actions[0].text
            icon.name: PanelLine.actions[0].icon
            onTriggered: root.togglePopover(root.compactRepresentationItem || root)
        },
        PlasmaCore.Action {
            text: PanelLine.actions[1].text
            icon.name: PanelLine.actions[1].icon
            onTriggered: root.run(PanelLine.actionCommand(PanelLine.actions[1].name))
        },
        PlasmaCore.Action {
            text: PanelLine.actions[2].text
            icon.name: PanelLine.actions[2].icon
            onTriggered: root.run(PanelLine.actionCommand(PanelLine.actions[2].name))
        },
        PlasmaCore.Action {
            isSeparator: true
        },
        PlasmaCore.Action {
            text: PanelLine.actions[4].text
            icon.name: PanelLine.actions[4].icon
            onTriggered: root.run(PanelLine.actionCommand(PanelLine.actions[4].name))
        }
    ]

    Loader {
        id: dbusLine
        source: "DBusLine.qml"
        // Without the D-Bus module (before Plasma 6.4) the line comes from
        // the command.
        onStatusChanged: root.followIfNeeded()
    }

    P5Support.DataSource {
        id: commands
        engine: "executable"
        connectedSources: []
        onNewData: (sourceName, data) => {
            disconnectSource(sourceName);
            if (sourceName === root.following)
                root.answered(data["stdout"], data["exit code"]);
        }
    }

    Timer {
        id: retry
        onTriggered: root.follow()
    }

    function followIfNeeded() {
        if (dbusLine.status === Loader.Error && following === "")
            follow();
    }

    Component.onCompleted: followIfNeeded()

    function follow() {
        following = PanelLine.nextCommand(commandLine.state);
        commands.connectSource(following);
    }

    function answered(stdout, exitCode) {
        const next = PanelLine.parse(stdout, exitCode);
        if (next) {
            failures = 0;
            commandLine = next;
            follow();
            return;
        }
        failures += 1;
        commandLine = PanelLine.notRunning();
        retry.interval = PanelLine.retryDelay(failures) * 1000;
        retry.start();
    }

    function run(command) {
        if (command !== "")
            commands.connectSource(command);
    }

    function togglePopover(item) {
        const corner = item.mapToGlobal(0, 0);
        const rect = Qt.rect(corner.x, corner.y, item.width, item.height);
        run(PanelLine.popoverCommand(rect, PanelLine.edgeName(Plasmoid.location, PlasmaCore.Types)));
    }
}
