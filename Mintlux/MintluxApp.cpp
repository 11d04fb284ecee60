#include "MintluxApp.h"

#include "AppDelegate.h"
#include "SingleInstance.h"
#include "persistence/PreferencesStore.h"

#include <iostream>

#include <QApplication>
#include <QIcon>
#include <QTimer>

namespace mintlux {

int MintluxApp::run(int argc, char** argv, const QUrl& pricingBaseURL) {
    if (!pricingBaseURL.isValid() || pricingBaseURL.isRelative()) {
        std::cerr << "Mintlux: the built-in pricing API address is not an absolute URL\n";
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mintlux"));
    // No display name: Qt would append it to every window title (" — Mintlux"), and the
    // windows already say what they are.
    QApplication::setDesktopFileName(QStringLiteral("mintlux"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("MintluxIcon"),
                                                 QIcon(QStringLiteral(":/MintluxIcon.png"))));
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
    AppDelegate delegate(std::move(environment));
    instance.setShowRequestHandler([&delegate] { delegate.showPopover(); });

    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}

}  // namespace mintlux
