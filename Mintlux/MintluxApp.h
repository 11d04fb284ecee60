#pragma once

#include <QUrl>

namespace mintlux {

// The application: one delegate, one status item, no main window. Runs until the user quits.
class MintluxApp {
public:
    // Returns the process's exit status. `pricingBaseURL` must be an absolute URL.
    static int run(int argc, char** argv, const QUrl& pricingBaseURL);
};

}  // namespace mintlux
