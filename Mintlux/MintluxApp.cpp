#include "MintluxApp.h"

#include "AppDelegate.h"
#include "SingleInstance.h"
#include "persistence/PreferencesStore.h"

#include <iostream>
#include <malloc.h>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QTimer>

namespace mintlux {

namespace {

// Answered before the application connects to a display, so they work from any terminal.
std::optional<int> answerInformationOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: mintlux [--help] [--version] [Qt options]\n"
                         "Live precious-metal prices in the status area. Started again, it "
                         "opens the running copy's popup.\n"
                         "See mintlux(1).\n";
            return 0;
        }
        if (arg == "--version") {
            std::cout << "mintlux " MINTLUX_VERSION "\n";
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int MintluxApp::run(int argc, char** argv, const QUrl& pricingBaseURL,
                    const QStringList& chartModuleDirs) {
    if (!pricingBaseURL.isValid() || pricingBaseURL.isRelative()) {
        std::cerr << "Mintlux: the built-in pricing API address is not an absolute URL\n";
        return 1;
    }
    if (const auto status = answerInformationOption(argc, argv)) {
        return *status;
    }
    // Before any thread starts: Qt's bus and display threads would each get an arena of their own,
    // whose few allocations keep pages private all day. Nothing here contends for malloc.
    ::mallopt(M_ARENA_MAX, 1);
    QApplication app(argc, argv);
    // What is left once Qt took its own options (-platform, -display, ...) is a mistake.
    if (const QStringList rest = QApplication::arguments().mid(1); !rest.isEmpty()) {
        std::cerr << "mintlux: unexpected argument " << rest.first().toStdString()
                  << "\nTry 'mintlux --help'.\n";
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("mintlux"));
    // No display name: Qt would append it to every window title (" — Mintlux"), and the
    // windows already say what they are.
    QApplication::setDesktopFileName(QStringLiteral("org.mintlux.Mintlux"));
    // Closing a window never ends an application that lives in the status area.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim()) {
        return 0;
    }

    PreferencesStore preferences;
    AppEnvironment environment;
    environment.preferences = &preferences;
    environment.pricingBaseURL = pricingBaseURL;
    environment.chartModuleDirs = chartModuleDirs;
    AppDelegate delegate(std::move(environment));
    instance.setShowRequestHandler([&delegate] { delegate.showPopover(); });

    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}

}  // namespace mintlux
