#pragma once

#include <QStringList>
#include <QUrl>

namespace mintlux {

// The application: one delegate, one status item, no main window. Runs until the user quits.
class MintluxApp {
public:
    // Returns the process's exit status. `pricingBaseURL` must be an absolute URL;
    // `chartModuleDirs` are looked in for the chart module after the executable's own directory.
    static int run(int argc, char** argv, const QUrl& pricingBaseURL,
                   const QStringList& chartModuleDirs = {});
};

}  // namespace mintlux
