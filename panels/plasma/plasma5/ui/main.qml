// The panel widget on Plasma 5.27: the icon and the line, kept current by
// the blocking command of the executable engine; commands do the rest.
import QtQuick 2.15
import QtQuick.Layouts 1.15
import org.kde.plasma.plasmoid 2.0
import org.kde.plasma.core 2.0 as PlasmaCore
import org.kde.plasma.components 3.0 as PlasmaComponents3
import "../code/panelline.js" as PanelLine

Item {
    id: root

    property var line: PanelLine.notRunning()
    property int failures: 0
    property string following: ""
    readonly property bool vertical: Plasmoid.formFactor === PlasmaCore.Types.Vertical
    readonly property var shown: PanelLine.presentation(line, vertical)

    Plasmoid.preferredRepresentation: Plasmoid.compactRepresentation
    Plasmoid.icon: "quillmere-menubar"
    Plasmoid.toolTipMainText: "Quillmere"
    Plasmoid.toolTipSubText: shown.tooltip
    Plasmoid.compactRepresentation: MouseArea {
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
            spacing: PlasmaCore.Units.smallSpacing
            PlasmaCore.IconItem {
                visible: root.shown.icon
                source: "quillmere-menubar-symbolic"
                Layout.preferredWidth: PlasmaCore.Units.iconSizes.smallMedium
                Layout.preferredHeight: PlasmaCore.Units.iconSizes.smallMedium
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

    PlasmaCore.DataSource {
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

    function follow() {
        following = PanelLine.nextCommand(line.state);
        commands.connectSource(following);
    }

    function answered(stdout, exitCode) {
        const next = PanelLine.parse(stdout, exitCode);
        if (next) {
            failures = 0;
            line = next;
            follow();
            return;
        }
        failures += 1;
        line = PanelLine.notRunning();
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

    function action_open() {
        togglePopover(Plasmoid.compactRepresentationItem || root);
    }
    function action_refresh() {
        run(PanelLine.actionCommand("refresh"));
    }
    function action_settings() {
        run(PanelLine.actionCommand("settings"));
    }
    function action_quit() {
        run(PanelLine.actionCommand("quit"));
    }

    Component.onCompleted: {
        for (const action of PanelLine.actions) {
            if (action.name === "separator")
                Plasmoid.setActionSeparator("separator");
            else
                Plasmoid.setAction(action.name, action.text, action.icon);
        }
        follow();
    }
}
