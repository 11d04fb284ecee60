// The title straight from the app over the session bus, through Plasma's D-Bus QML module. Its
// calls came with Plasma 6.2: without the module (6.0) this file does not load, and without the
// calls (6.1) it says so; main.qml then runs mintlux-title instead. GetTitle is polled every two
// seconds unless the module can watch signals (SignalReader.qml, Plasma 6.4): then the app's
// Changed signal says when, and a slower poll only notices a hung app.
import QtQuick
import org.kde.plasma.workspace.dbus as DBus
import "title.js" as Title

Item {
    id: reader

    signal read(var reading)

    readonly property bool calls: {
        try {
            return DBus.SessionBus !== undefined;
        } catch (e) {
            return false;
        }
    }
    property var pending: null

    function message(member, args, signature) {
        return {
            service: Title.service,
            path: Title.path,
            iface: Title.iface,
            // The key the module's constructor from a map reads; the property above is iface.
            "interface": Title.iface,
            member: member,
            arguments: args,
            signature: signature
        };
    }

    function fetch() {
        if (pending !== null && !pending.isFinished) {
            // The last call is still unanswered: a hung app shows as away, not as its last title.
            read(Title.absent(Title.notAnswering));
            return;
        }
        const call = DBus.SessionBus.asyncCall(message("GetTitle", [], ""));
        pending = call;
        call.finished.connect(() => {
            if (pending === call)
                read(call.isError ? Title.fromError(call.error.name)
                                  : Title.fromReply(call.values));
        });
    }

    // With the signature given the call goes out at once, without introspecting the app first.
    function activate(x, y) {
        DBus.SessionBus.asyncCall(message("Activate", [x, y], "(ii)"));
    }

    Loader {
        id: signals
        source: "SignalReader.qml"
    }

    Connections {
        target: signals.item
        function onTitleChanged(values) {
            reader.read(Title.fromReply(values));
        }
        function onPresentChanged() {
            // Its coming is the poll's to read: it starts then.
            if (!signals.item.present)
                reader.read(Title.absent(Title.notRunning));
        }
    }

    Timer {
        readonly property bool watching: signals.status === Loader.Ready
        interval: watching ? Title.pollInterval * 5 : Title.pollInterval
        running: reader.calls && (!watching || signals.item.present)
        repeat: true
        triggeredOnStart: true
        onTriggered: reader.fetch()
    }
}
