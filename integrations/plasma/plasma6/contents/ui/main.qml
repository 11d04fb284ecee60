// Mintlux's title in a Plasma 6 panel. From Plasma 6.2 the title comes over the session bus
// (BusReader.qml); before, Plasma's QML has no D-Bus calls and the widget runs mintlux-title as
// on Plasma 5.
import QtQuick
import QtQuick.Layouts
import org.kde.plasma.plasmoid
import org.kde.plasma.core as PlasmaCore
import org.kde.plasma.components as PlasmaComponents
import org.kde.plasma.plasma5support as Plasma5Support
import org.kde.kirigami as Kirigami
import "title.js" as Title

PlasmoidItem {
    id: root

    property var reading: Title.absent(Title.notRunning)
    readonly property bool onBus: busReader.status === Loader.Ready && busReader.item.calls

    preferredRepresentation: fullRepresentation
    Plasmoid.backgroundHints: PlasmaCore.Types.NoBackground
    toolTipMainText: reading.running ? reading.text : "Mintlux"
    toolTipSubText: reading.running ? reading.tooltip : reading.why

    function activate(item) {
        if (!reading.running) {
            // Without the app there is no popup to open: starting it is what a click should do.
            launcher.connectSource(Title.startCommand);
        } else if (onBus) {
            // The app hangs its popup from the widget's bottom centre, in screen coordinates.
            const anchor = item.mapToGlobal(item.width / 2, item.height);
            busReader.item.activate(Math.round(anchor.x), Math.round(anchor.y));
        } else {
            launcher.connectSource(Title.activateCommand);
        }
    }

    Loader {
        id: busReader
        source: "BusReader.qml"
        onStatusChanged: {
            if (status === Loader.Error || (status === Loader.Ready && !item.calls))
                console.info("Mintlux: no D-Bus calls in this Plasma's QML; "
                             + "reading through mintlux-title");
        }
    }

    Connections {
        target: busReader.item
        function onRead(reading) {
            root.reading = reading;
        }
    }

    Plasma5Support.DataSource {
        id: reader
        engine: "executable"
        onNewData: (sourceName, data) => {
            disconnectSource(sourceName);
            root.reading = Title.fromWaybar(data["stdout"], data["exit code"], data["stderr"]);
        }
    }

    Plasma5Support.DataSource {
        id: launcher
        engine: "executable"
        onNewData: (sourceName, data) => disconnectSource(sourceName)
    }

    Timer {
        interval: Title.readInterval
        running: !root.onBus
        repeat: true
        triggeredOnStart: true
        onTriggered: {
            if (reader.connectedSources.length === 0)
                reader.connectSource(Title.readCommand);
        }
    }

    fullRepresentation: Item {
        id: representation

        Layout.minimumWidth: title.implicitWidth + Kirigami.Units.smallSpacing * 2
        Layout.preferredWidth: Layout.minimumWidth
        Layout.maximumWidth: Layout.minimumWidth

        PlasmaCore.ToolTipArea {
            anchors.fill: parent
            mainText: root.toolTipMainText
            subText: root.toolTipSubText
        }

        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton
            onClicked: root.activate(representation)
        }

        RowLayout {
            id: title
            anchors.centerIn: parent
            spacing: 0

            PlasmaComponents.Label {
                visible: !root.reading.running
                text: "\u2014"
                opacity: 0.6
            }
            Repeater {
                model: root.reading.segments
                // The theme's colours for the change, not the app's, which suit a dark bar only.
                PlasmaComponents.Label {
                    required property var modelData
                    text: modelData.text
                    color: modelData.style === "positive" ? Kirigami.Theme.positiveTextColor
                         : modelData.style === "negative" ? Kirigami.Theme.negativeTextColor
                         : Kirigami.Theme.textColor
                }
            }
        }
    }
}
