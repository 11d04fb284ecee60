// The app's Changed signal and its comings and goings, through the signal watcher of Plasma
// 6.4's D-Bus QML module. With an older module this file does not load and BusReader.qml polls.
import QtQuick
import org.kde.plasma.workspace.dbus as DBus
import "title.js" as Title

Item {
    id: watcher

    // The signal's six values, as GetTitle's reply gives them.
    signal titleChanged(var values)
    readonly property bool present: owner.registered

    DBus.SignalWatcher {
        service: Title.service
        path: Title.path
        iface: Title.iface

        function dbusChanged(text, segments, tooltip, direction, symbol, updated) {
            watcher.titleChanged([text, segments, tooltip, direction, symbol, updated]);
        }
    }

    DBus.DBusServiceWatcher {
        id: owner
        watchedService: Title.service
    }
}
