#include "ChartModule.h"

#include <iostream>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>

#if !defined(MINTLUX_CHART_MODULE_FILE) || !defined(MINTLUX_CHART_MODULE_INSTALL_DIR)
#error "the build names the chart module's file and its place relative to the executable"
#endif

namespace mintlux::chartModule {

namespace {

struct Loader {
    QStringList dirs;
    MakeView* makeView = nullptr;

    // Why the module could not be loaded; empty once it is.
    QString load() {
        for (const QString& dir : dirs) {
            const QString path = QDir(dir).filePath(fileName());
            if (!QFileInfo::exists(path)) {
                continue;
            }
            QLibrary library(path);
            // Every reference bound now: one the executable cannot satisfy fails here, not in
            // the middle of a chart.
            library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
            if (!library.load()) {
                return library.errorString();
            }
            // A module installed over the running app by an upgrade is another build's.
            auto* version = reinterpret_cast<Version*>(library.resolve(kVersionSymbol));
            if (version == nullptr) {
                return library.errorString();
            }
            if (qstrcmp(version(), MINTLUX_VERSION) != 0) {
                return QStringLiteral("%1 is of Mintlux %2, this is Mintlux %3")
                    .arg(path, QString::fromUtf8(version()), QStringLiteral(MINTLUX_VERSION));
            }
            makeView = reinterpret_cast<MakeView*>(library.resolve(kMakeViewSymbol));
            return makeView != nullptr ? QString() : library.errorString();
        }
        return QStringLiteral("%1 is in none of %2")
            .arg(fileName(), dirs.join(QStringLiteral(", ")));
    }
};

std::unique_ptr<QWidget> notice(const QString& error) {
    auto label = std::make_unique<QLabel>(
        QStringLiteral("The price chart could not be loaded.\n\n%1").arg(error));
    label->setObjectName(QStringLiteral("ChartModuleError"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setContentsMargins(20, 20, 20, 20);
    return label;
}

}  // namespace

QString fileName() {
    return QStringLiteral(MINTLUX_CHART_MODULE_FILE);
}

QStringList searchPath(const QStringList& extraDirs) {
    const QString executableDir = QCoreApplication::applicationDirPath();
    return QStringList{executableDir} + extraDirs +
           QStringList{QDir::cleanPath(executableDir +
                                       QStringLiteral("/" MINTLUX_CHART_MODULE_INSTALL_DIR))};
}

ChartViewFactory factory(QStringList dirs) {
    auto loader = std::make_shared<Loader>(Loader{std::move(dirs)});
    return [loader](MetalSeries metal, Currency currency,
                    std::shared_ptr<ChartingDataSource> dataSource,
                    std::shared_ptr<PricingService<MetalSeries, MetalUnit>> service)
               -> std::unique_ptr<QWidget> {
        if (loader->makeView == nullptr) {
            if (const QString error = loader->load(); !error.isEmpty()) {
                std::cerr << "Mintlux: the price chart could not be loaded: " << error.toStdString()
                          << '\n';
                return notice(error);
            }
        }
        return std::unique_ptr<QWidget>(
            loader->makeView(metal, currency, std::move(dataSource), std::move(service)));
    };
}

}  // namespace mintlux::chartModule
