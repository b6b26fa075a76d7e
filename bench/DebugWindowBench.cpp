// The debug window while a display streams reports: appending one report's
// text to a full log, trimming included. Displays send 100-250 reports a
// second, so this must stay far below a millisecond.
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "windows/VTDebugWindowController.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "velotap_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void BM_DebugWindowAppendsAReport(benchmark::State& state)
{
    application();
    NotificationCenter center;
    VTDebugWindowController debug(center);
    debug.showWindow();
    const QVariantMap info{
        {QStringLiteral("text"),
         QStringLiteral("0050 bytes: 01 07 03 20 40 87 26 30 30 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01\n"
                        "decoder=HidDigitizerDescriptor report=1 contacts=6 report=1 frame=1 reported=1 contacts=1 "
                        "slots=6 hybridOffset=0 hybrid=no complete=yes\n"
                        "  slot=0 id=  3 flags=0x03 down kind=finger  x=16416 y= 9863 marker=0x3030")}};
    // Start from a full log, so every trim is part of the measurement.
    for (int i = 0; i < 400; ++i)
        center.post(VTNotification::DebugReport, nullptr, info);
    for (auto _ : state)
        center.post(VTNotification::DebugReport, nullptr, info);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DebugWindowAppendsAReport);

} // namespace
