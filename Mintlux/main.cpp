#include "MintluxApp.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#ifndef MINTLUX_PRICING_API_URL
#error "MINTLUX_PRICING_API_URL must be defined by the build"
#endif

int main(int argc, char** argv) {
#ifdef MINTLUX_CHART_MODULE_BUILD_DIR
    // A test build of the app, run where it was built: the module is in the app's build directory.
    const QStringList chartModuleDirs{QStringLiteral(MINTLUX_CHART_MODULE_BUILD_DIR)};
#else
    const QStringList chartModuleDirs;
#endif
    return mintlux::MintluxApp::run(argc, argv, QUrl(QStringLiteral(MINTLUX_PRICING_API_URL)),
                                    chartModuleDirs);
}
