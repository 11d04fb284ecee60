// Mintlux's title in a Plasma 5 panel. Plasma 5 QML cannot reach D-Bus, so the title comes from
// the mintlux-title reader run by the executable data engine.
import QtQuick 2.15
import QtQuick.Layouts 1.15
import org.kde.plasma.plasmoid 2.0
import org.kde.plasma.core 2.0 as PlasmaCore
import org.kde.plasma.components 3.0 as PlasmaComponents3
import "title.js" as Title

Item {
    id: root

    property var reading: Title.absent(Title.notRunning)

    Plasmoid.preferredRepresentation: Plasmoid.fullRepresentation
    Plasmoid.backgroundHints: PlasmaCore.Types.NoBackground
    Plasmoid.toolTipMainText: reading.running ? reading.text : "Mintlux"
    Plasmoid.toolTipSubText: reading.running ? reading.tooltip : reading.why

    Layout.minimumWidth: title.implicitWidth + PlasmaCore.Units.smallSpacing * 2
    Layout.preferredWidth: Layout.minimumWidth
    Layout.maximumWidth: Layout.minimumWidth

    PlasmaCore.DataSource {
        id: reader
        engine: "executable"
        onNewData: {
            disconnectSource(sourceName);
            root.reading = Title.fromWaybar(data["stdout"], data["exit code"], data["stderr"]);
        }
    }

    PlasmaCore.DataSource {
        id: launcher
        engine: "executable"
        onNewData: disconnectSource(sourceName)
    }

    Timer {
        interval: Title.readInterval
        running: true
        repeat: true
        triggeredOnStart: true
        onTriggered: {
            if (reader.connectedSources.length === 0)
                reader.connectSource(Title.readCommand)
        }
    }

    PlasmaCore.ToolTipArea {
        anchors.fill: parent
        mainText: Plasmoid.toolTipMainText
        subText: Plasmoid.toolTipSubText
    }

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton
        // Without the app there is no popup to open: starting it is what a click should do.
        onClicked: launcher.connectSource(root.reading.running ? Title.activateCommand
                                                               : Title.startCommand)
    }

    RowLayout {
        id: title
        anchors.centerIn: parent
        spacing: 0

        PlasmaComponents3.Label {
            visible: !root.reading.running
            text: "\u2014"
            opacity: 0.6
        }
        Repeater {
            model: root.reading.segments
            // The theme's colours for the change, not the app's, which suit a dark bar only.
            PlasmaComponents3.Label {
                text: modelData.text
                color: modelData.style === "positive" ? PlasmaCore.Theme.positiveTextColor
                     : modelData.style === "negative" ? PlasmaCore.Theme.negativeTextColor
                     : PlasmaCore.Theme.textColor
            }
        }
    }
}
