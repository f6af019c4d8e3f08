// The line read straight from the instance's D-Bus properties, which change
// with PropertiesChanged. The module exists from Plasma 6.4 on; where it is
// missing this file does not load and the widget runs the blocking command.
import QtQuick
import org.kde.plasma.workspace.dbus as DBus
import "../code/panelline.js" as PanelLine

QtObject {
    readonly property var line: instance.registered ? PanelLine.fromProperties({
        Title: properties.properties.Title,
        ToolTip: properties.properties.ToolTip,
        IconShown: properties.properties.IconShown
    }) : PanelLine.notRunning()

    property DBus.DBusServiceWatcher instance: DBus.DBusServiceWatcher {
        busType: DBus.BusType.Session
        watchedService: PanelLine.service
    }
    property DBus.Properties properties: DBus.Properties {
        busType: DBus.BusType.Session
        service: PanelLine.service
        path: PanelLine.objectPath
        iface: PanelLine.menuBarInterface
    }
}
