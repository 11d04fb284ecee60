// Mintlux's title in a Plasma panel. Plasma 5 QML cannot reach D-Bus, so the title comes from
// the mintlux-title reader run by the executable data engine.
import QtQuick 2.15
import QtQuick.Layouts 1.15
import org.kde.plasma.plasmoid 2.0
import org.kde.plasma.core 2.0 as PlasmaCore
import org.kde.plasma.components 3.0 as PlasmaComponents3

Item {
    id: root

    readonly property string readCommand: "mintlux-title --format waybar"
    // The app's title changes when prices arrive (every minute by default) or a setting
    // changes; five seconds shows a change made in the popup promptly while costing one short
    // process start per period.
    readonly property int readInterval: 5000

    property string text: ""
    property string tooltip: ""
    property string direction: "none"
    property bool running: false
    // The title's runs: the text before the change and the change, which is coloured.
    property string price: ""
    property string change: ""

    Plasmoid.preferredRepresentation: Plasmoid.fullRepresentation
    Plasmoid.backgroundHints: PlasmaCore.Types.NoBackground
    Plasmoid.toolTipMainText: running ? text : "Mintlux"
    Plasmoid.toolTipSubText: running ? tooltip : "Mintlux is not running"

    Layout.minimumWidth: title.implicitWidth + PlasmaCore.Units.smallSpacing * 2
    Layout.preferredWidth: Layout.minimumWidth
    Layout.maximumWidth: Layout.minimumWidth

    function plainOf(markup) {
        return markup.replace(/<[^>]*>/g, "").replace(/&lt;/g, "<").replace(/&gt;/g, ">")
            .replace(/&quot;/g, "\"").replace(/&#39;|&apos;/g, "'").replace(/&amp;/g, "&");
    }

    function show(stdout, exitCode) {
        let reading = null;
        if (exitCode === 0) {
            try {
                reading = JSON.parse(stdout.trim().split("\n").pop());
            } catch (e) {
                reading = null;
            }
        }
        running = reading !== null && typeof reading.text === "string";
        const markup = running ? reading.text : "";
        tooltip = running && typeof reading.tooltip === "string" ? plainOf(reading.tooltip) : "";
        direction = running && (reading["class"] === "up" || reading["class"] === "down")
            ? reading["class"] : "none";
        // The reader marks the change run up as Pango markup; the theme's colours replace its
        // own, which suit a dark bar only.
        const span = markup.indexOf("<span");
        if (span >= 0 && direction !== "none") {
            price = plainOf(markup.slice(0, span));
            change = plainOf(markup.slice(span));
        } else {
            price = plainOf(markup);
            change = "";
        }
        text = price + change;
    }

    PlasmaCore.DataSource {
        id: reader
        engine: "executable"
        onNewData: {
            disconnectSource(sourceName);
            root.show(data["stdout"], data["exit code"]);
        }
    }

    PlasmaCore.DataSource {
        id: launcher
        engine: "executable"
        onNewData: disconnectSource(sourceName)
    }

    Timer {
        interval: root.readInterval
        running: true
        repeat: true
        triggeredOnStart: true
        onTriggered: {
            if (reader.connectedSources.length === 0)
                reader.connectSource(root.readCommand)
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
        onClicked: launcher.connectSource(root.running ? "mintlux-title --activate" : "mintlux")
    }

    RowLayout {
        id: title
        anchors.centerIn: parent
        spacing: 0

        PlasmaComponents3.Label {
            text: root.running ? root.price : "\u2014"
            opacity: root.running ? 1 : 0.6
        }
        PlasmaComponents3.Label {
            visible: root.change !== ""
            text: root.change
            color: root.direction === "down" ? PlasmaCore.Theme.negativeTextColor
                                             : PlasmaCore.Theme.positiveTextColor
        }
    }
}
