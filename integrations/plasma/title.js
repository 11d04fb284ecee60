// The title as both widgets draw it, from either of its sources: the app's GetTitle reply or
// Changed signal, or a `mintlux-title --format waybar` line where QML cannot reach D-Bus.
// Installed beside each widget's main.qml.
.pragma library

var service = "org.mintlux.Mintlux";
var path = "/org/mintlux/Mintlux";
var iface = "org.mintlux.Mintlux.Title";

var readCommand = "mintlux-title --format waybar";
var activateCommand = "mintlux-title --activate";
// The executable engine kills what it started when the panel goes, and closes the pipes it
// gave it: the app must outlive the one and never write into the others.
var startCommand = "setsid -f mintlux </dev/null >/dev/null 2>&1";
// The title changes when prices arrive (every minute by default) or a setting changes: five
// seconds shows a change made in the popup promptly for one short process start per period.
var readInterval = 5000;
// A call over the bus costs no process: the title follows a change within two seconds.
var pollInterval = 2000;

var notRunning = "Mintlux is not running";
var notAnswering = "Mintlux is not answering";

// running: whether there is a title; segments: [{text, style}], style "none", "positive" or
// "negative"; why: what the tooltip says without a title.
function absent(why) {
    return { running: false, text: "", segments: [], tooltip: "", why: why };
}

function titled(text, segments, tooltip) {
    // The text is what counts: pieces that do not make it up exactly are not drawn.
    const joined = segments.map(function (s) { return s.text; }).join("");
    return {
        running: true,
        text: text,
        segments: joined === text ? segments : [{ text: text, style: "none" }],
        tooltip: tooltip,
        why: ""
    };
}

function plainOf(markup) {
    return markup.replace(/<[^>]*>/g, "").replace(/&lt;/g, "<").replace(/&gt;/g, ">")
        .replace(/&quot;/g, "\"").replace(/&#39;|&apos;/g, "'").replace(/&amp;/g, "&");
}

// The reply's (s a(ss) s s s x) as Plasma's D-Bus module gives it: a list of six values,
// strings as its own string type (String() reads them), each segment a list of two.
function fromReply(values) {
    if (!values || values.length !== 6)
        return absent("Mintlux answered with something unexpected");
    const segments = [];
    for (let i = 0; i < values[1].length; ++i)
        segments.push({ text: String(values[1][i][0]), style: String(values[1][i][1]) });
    return titled(String(values[0]), segments, String(values[2]));
}

function fromError(name) {
    if (name === "org.freedesktop.DBus.Error.ServiceUnknown"
            || name === "org.freedesktop.DBus.Error.NameHasNoOwner")
        return absent(notRunning);
    if (name === "org.freedesktop.DBus.Error.NoReply")
        return absent(notAnswering);
    return absent("Mintlux did not answer: " + name);
}

// mintlux-title's waybar line: the change is the markup's span, coloured by the class.
function fromWaybar(stdout, exitCode, stderr) {
    let reading = null;
    if (exitCode === 0) {
        try {
            reading = JSON.parse(stdout.trim().split("\n").pop());
        } catch (e) {
            reading = null;
        }
    }
    if (reading === null || typeof reading.text !== "string") {
        const why = (stderr || "").trim().replace(/^mintlux-title: /, "");
        return absent(why || notRunning);
    }
    const style = reading["class"] === "up" ? "positive"
        : reading["class"] === "down" ? "negative" : "none";
    const segments = [];
    const span = /<span[^>]*>([\s\S]*?)<\/span>/g;
    let at = 0;
    let match;
    while ((match = span.exec(reading.text)) !== null) {
        if (match.index > at)
            segments.push({ text: plainOf(reading.text.slice(at, match.index)), style: "none" });
        segments.push({ text: plainOf(match[1]), style: style });
        at = span.lastIndex;
    }
    if (at < reading.text.length)
        segments.push({ text: plainOf(reading.text.slice(at)), style: "none" });
    const text = segments.map(function (s) { return s.text; }).join("");
    return titled(text, segments,
                  typeof reading.tooltip === "string" ? plainOf(reading.tooltip) : "");
}
