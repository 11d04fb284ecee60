#include "MintluxApp.h"

#include <QString>
#include <QUrl>

#ifndef MINTLUX_PRICING_API_URL
#error "MINTLUX_PRICING_API_URL must be defined by the build"
#endif

int main(int argc, char** argv) {
    return mintlux::MintluxApp::run(argc, argv, QUrl(QStringLiteral(MINTLUX_PRICING_API_URL)));
}
