#pragma once

#include "ChartWindowController.h"

#include <QStringList>

class QWidget;

namespace mintlux {

// The chart window's code is a module of its own, loaded the first time a chart opens: linked
// into the app, the chart library (and the OpenGL ones behind it) would be mapped and relocated
// at every start of an app that mostly sits in the status area. The module resolves the app's
// own classes from the executable, which exports them, so there is one copy of each.
namespace chartModule {

// What the module exports, with C names so the loader can find them.
inline constexpr char kMakeViewSymbol[] = "mintluxChartMakeView";
inline constexpr char kVersionSymbol[] = "mintluxChartVersion";
using MakeView = QWidget*(MetalSeries, Currency, std::shared_ptr<ChartingDataSource>,
                          std::shared_ptr<PricingService<MetalSeries, MetalUnit>>);
using Version = const char*();

// The module's file name.
QString fileName();
// Where a running app looks for it: beside the executable, in `extraDirs`, then where it is
// installed relative to the executable.
QStringList searchPath(const QStringList& extraDirs = {});

// Makes charts with the module, loaded from the first of `dirs` that holds it on the first call.
// While it cannot be loaded, each call tries again and makes a notice that says why.
ChartViewFactory factory(QStringList dirs);

}  // namespace chartModule

}  // namespace mintlux
